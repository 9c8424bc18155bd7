#include "viewer/TarvoMainWnd.h"

#include "draw/Decode.h"
#include "strip/TarvoToolWnd.h"
#include "tests/support/LayeredSpy.h"
#include "tests/support/TestSupport.h"

#include <dbt.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

using namespace TestSupport;

namespace
{
bool WriteFlat(const std::wstring& strPath, int cx, int cy, const Gdiplus::Color& colour)
{
    Gdiplus::Bitmap picture(cx, cy, PixelFormat32bppARGB);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            picture.SetPixel(x, y, colour);
    return SavePng(&picture, strPath);
}

// Another file of the folder written every so often from a thread of its
// own while it lives: a download, a log, a sync client.
class CSiblingChurn
{
public:
    CSiblingChurn(const CTempFolder& folder, DWORD dwEveryMs)
    {
        if (dwEveryMs == 0)
            return;
        const std::wstring strPath = folder.Path(L"download.part");
        m_thread = std::thread([this, strPath, dwEveryMs] {
            for (size_t n = 1; !m_bStop; ++n)
            {
                WriteFileBytes(strPath, std::string(n % 100 + 1, 'x'));
                ::Sleep(dwEveryMs);
            }
        });
    }
    ~CSiblingChurn()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

FILETIME LastWriteTime(const std::wstring& strPath)
{
    FILETIME ftWrite = {};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data))
        ftWrite = data.ftLastWriteTime;
    return ftWrite;
}

bool PutLastWriteTime(const std::wstring& strPath, const FILETIME& ftWrite)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    const bool bSet = ::SetFileTime(hFile, nullptr, nullptr, &ftWrite) != FALSE;
    ::CloseHandle(hFile);
    return bSet;
}

// The viewer showing a file chosen in its strip, with its pushes counted.
class ViewerReloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strPath = m_folder.Path(L"shown.png");
        ASSERT_TRUE(WriteFlat(m_strPath, 40, 30, Gdiplus::Color(255, 200, 30, 60)));
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        SLayeredSpy::Install(m_pViewer);
        m_pViewer->ShowToolWnd(FALSE);
        ASSERT_NE(nullptr, m_pViewer->m_pToolWnd);
        ASSERT_EQ(CTarvoToolWnd::ADD_DONE, m_pViewer->m_pToolWnd->AddFile(m_strPath.c_str()));
        m_pViewer->m_pToolWnd->RecalcLayout();
        m_pViewer->m_pToolWnd->SelectElem(0);
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending && Width() == 40; }));
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    int Width() const
    {
        const RECT rc = WindowRect(m_hWnd);
        return rc.right - rc.left;
    }
    uint32_t ThumbnailCentre(size_t nEntry = 0) const
    {
        return ReadBitmap(m_pViewer->m_pToolWnd->m_vecElems[nEntry]->m_hThumb).At(44, 41);
    }
    // Whether the viewer pushed a frame of that width in that colour last.
    bool Shows(int cx, uint32_t colour) const
    {
        return !m_pViewer->m_bRedrawPending && Width() == cx && SLayeredSpy::s_buffer.cx == cx &&
               SLayeredSpy::s_buffer.At(cx / 2, SLayeredSpy::s_buffer.cy / 2) == colour;
    }
    // Adds a file to the strip and shows it.
    bool AddAndShow(const std::wstring& strPath, int cx)
    {
        CTarvoToolWnd* pStrip = m_pViewer->m_pToolWnd;
        if (pStrip->AddFile(strPath.c_str()) != CTarvoToolWnd::ADD_DONE)
            return false;
        pStrip->RecalcLayout();
        pStrip->SelectElem(static_cast<int>(pStrip->m_vecElems.size()) - 1);
        return PumpUntil([this, cx] { return !m_pViewer->m_bRedrawPending && Width() == cx; });
    }

    CTempFolder m_folder;
    std::wstring m_strPath;
    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerReloadTest, ABurstOfWritesReloadsThePictureAndItsThumbnailOnce)
{
    const int nPushes = SLayeredSpy::s_nCalls;
    const unsigned nDecodes = KelDraw::DecodesOnThisThread();
    // An editor saving several times in a row, the last time in another size and colour.
    for (int i = 0; i < 4; ++i)
    {
        ASSERT_TRUE(WriteFlat(m_strPath, 40 + i, 30, Gdiplus::Color(255, 30, 60, 200)));
        PumpFor(60);
    }
    ASSERT_TRUE(WriteFlat(m_strPath, 50, 20, Gdiplus::Color(255, 30, 60, 200)));
    ASSERT_TRUE(PumpUntil([this] { return Width() == 50; }, 10000)) << "the rewrite was never shown";
    // Whatever else the writes set off has had its time.
    PumpFor(1000);
    EXPECT_EQ(nPushes + 1, SLayeredSpy::s_nCalls);
    EXPECT_EQ(0xFF1E3CC8u, SLayeredSpy::s_buffer.At(25, 10));
    EXPECT_EQ(0xFF1E3CC8u, ThumbnailCentre());
    EXPECT_EQ(nDecodes + 1, KelDraw::DecodesOnThisThread()) << "the thumbnail is made from the new picture";
    EXPECT_EQ(1u, m_pViewer->m_pToolWnd->m_vecElems.size());
}

TEST_F(ViewerReloadTest, ARewrittenTranslucentPictureGetsTheThumbnailAddingItMakes)
{
    ASSERT_TRUE(WriteFlat(m_strPath, 36, 30, Gdiplus::Color(128, 30, 60, 200)));
    ASSERT_TRUE(PumpUntil([this] { return Width() == 36 && !m_pViewer->m_bRedrawPending; }, 10000));
    HBITMAP hAdded = nullptr;
    ASSERT_TRUE(KelDraw::DecodeFileToThumbnail(m_strPath.c_str(), CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT, &hAdded));
    const CPixels added = ReadBitmap(hAdded);
    ::DeleteObject(hAdded);
    // Over white, not black: the picture's premultiplied pixels are not opaque.
    EXPECT_EQ(added.At(44, 41), ThumbnailCentre());
    EXPECT_EQ(added.argb, ReadBitmap(m_pViewer->m_pToolWnd->m_vecElems[0]->m_hThumb).argb);
}

TEST_F(ViewerReloadTest, AFileThatGoesIsLeftShownAndOneThatBreaksIsTold)
{
    const int nPushes = SLayeredSpy::s_nCalls;
    const std::wstring strMoved = m_folder.Path(L"moved.png");
    ASSERT_TRUE(::MoveFileW(m_strPath.c_str(), strMoved.c_str()));
    PumpFor(1500);
    EXPECT_EQ(nPushes, SLayeredSpy::s_nCalls) << "a file renamed away is not reloaded";
    EXPECT_EQ(m_strPath, m_pViewer->m_strCurPath);
    EXPECT_EQ(1u, m_pViewer->m_pToolWnd->m_vecElems.size()) << "its entry stays";

    // Back under its name with content that is no picture and stays so:
    // told once the file has been left alone a while, then the failure picture.
    ASSERT_TRUE(WriteFileBytes(m_strPath, "not a picture any more"));
    ::DeleteFileW(strMoved.c_str());
    CMessageBoxWatcher watcher;
    ASSERT_TRUE(PumpUntil([&watcher] { return !watcher.m_vecBoxes.empty(); }, 10000));
    EXPECT_EQ(L"加载失败。请拖入图片文件。", watcher.m_vecBoxes[0].strText);
    ASSERT_TRUE(PumpUntil([this] { return Width() == 240; }));
    EXPECT_TRUE(m_pViewer->m_strCurPath.empty());
    EXPECT_EQ(1u, m_pViewer->m_pToolWnd->m_vecElems.size());
    EXPECT_EQ(0xFFC81E3Cu, ThumbnailCentre()) << "the entry keeps its last thumbnail";
    EXPECT_FALSE(m_pViewer->m_fileWatch.IsWatching());
}

TEST_F(ViewerReloadTest, ARewriteIsShownWhileAnotherFileOfTheFolderKeepsChanging)
{
    int nWidth = 50;
    for (const DWORD dwEveryMs : {0u, 100u, 250u})
    {
        SCOPED_TRACE(dwEveryMs);
        // The churn goes on for the whole wait.
        CSiblingChurn churn(m_folder, dwEveryMs);
        PumpFor(400);
        ++nWidth;
        ASSERT_TRUE(WriteFlat(m_strPath, nWidth, 20, Gdiplus::Color(255, 30, 60, 200)));
        EXPECT_TRUE(PumpUntil([&] { return Shows(nWidth, 0xFF1E3CC8u); }, 10000)) << "the rewrite was never shown";
    }
}

TEST_F(ViewerReloadTest, ASlowWriterEndsWithItsPictureShownNothingToldAndTheWatchKept)
{
    auto fnPngBytes = [](int cx, const Gdiplus::Color& colour) {
        CTempFolder scratch;
        const std::wstring strPath = scratch.Path(L"p.png");
        return WriteFlat(strPath, cx, 30, colour) ? ReadFileBytes(strPath) : std::string();
    };
    // Writes the bytes through one handle, pausing once after nPauseAt of them.
    auto fnWriteWithPause = [](const std::wstring& strPath, const std::string& strBytes, size_t nPauseAt) {
        HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     CREATE_ALWAYS, 0, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            return;
        DWORD dwWritten = 0;
        ::WriteFile(hFile, strBytes.data(), static_cast<DWORD>(nPauseAt), &dwWritten, nullptr);
        ::Sleep(700);
        ::WriteFile(hFile, strBytes.data() + nPauseAt, static_cast<DWORD>(strBytes.size() - nPauseAt), &dwWritten,
                    nullptr);
        ::CloseHandle(hFile);
    };
    struct SWriter
    {
        const char* pszWhat;
        std::function<void(const std::wstring&, const std::string&)> fnWrite;
    } const writers[] = {
        {"all at once", [](const std::wstring& strPath, const std::string& strBytes) { WriteFileBytes(strPath, strBytes); }},
        {"a pause midway",
         [&](const std::wstring& strPath, const std::string& strBytes) {
             fnWriteWithPause(strPath, strBytes, strBytes.size() / 2);
         }},
        {"cut to nothing, written later",
         [&](const std::wstring& strPath, const std::string& strBytes) { fnWriteWithPause(strPath, strBytes, 0); }},
    };
    CMessageBoxWatcher watcher;
    int nWidth = 60;
    for (const SWriter& writer : writers)
    {
        SCOPED_TRACE(writer.pszWhat);
        ++nWidth;
        const std::string strBytes = fnPngBytes(nWidth, Gdiplus::Color(255, 30, 60, 200));
        ASSERT_FALSE(strBytes.empty());
        std::thread thread(writer.fnWrite, m_strPath, strBytes);
        const bool bShown = PumpUntil([&] { return Shows(nWidth, 0xFF1E3CC8u); }, 15000);
        thread.join();
        EXPECT_TRUE(bShown) << "the finished file was never shown";
        // Whatever the writes set off has had its time, a failed read's wait included.
        PumpFor(CTarvoMainWnd::RELOAD_QUIET + 1000);
        EXPECT_TRUE(watcher.m_vecBoxes.empty());
        EXPECT_TRUE(Shows(nWidth, 0xFF1E3CC8u));
        EXPECT_EQ(m_strPath, m_pViewer->m_strCurPath);
        EXPECT_TRUE(m_pViewer->m_fileWatch.IsWatching());
        // Back to the first picture for the next writer.
        ASSERT_TRUE(WriteFlat(m_strPath, 40, 30, Gdiplus::Color(255, 200, 30, 60)));
        ASSERT_TRUE(PumpUntil([this] { return Shows(40, 0xFFC81E3Cu); }, 10000));
    }
}

TEST_F(ViewerReloadTest, ARewriteOfTheSameSizeWithTheOldTimePutBackIsShown)
{
    const std::wstring strPath = m_folder.Write(L"same.bmp", BmpBytes(30, 20, RGB(10, 200, 10)));
    ASSERT_TRUE(AddAndShow(strPath, 30));
    ASSERT_TRUE(Shows(30, 0xFF0AC80Au));
    const FILETIME ftWrite = LastWriteTime(strPath);
    m_folder.Write(L"same.bmp", BmpBytes(30, 20, RGB(200, 10, 200)));
    ASSERT_TRUE(PutLastWriteTime(strPath, ftWrite));
    EXPECT_TRUE(PumpUntil([this] { return Shows(30, 0xFFC80AC8u); }, 10000)) << "the rewrite was never shown";
    EXPECT_EQ(0xFFC80AC8u, ThumbnailCentre(1));
}

TEST_F(ViewerReloadTest, TheWatchStaysForStepsInItsFolderAndGoesWithItsVolume)
{
    CFileWatch& watch = m_pViewer->m_fileWatch;
    ASSERT_TRUE(PumpUntil([&watch] { return watch.ThreadId() != 0; }));
    const DWORD dwThread = watch.ThreadId();
    const std::wstring strOther = m_folder.Write(L"other.bmp", BmpBytes(30, 20, RGB(10, 200, 10)));
    ASSERT_TRUE(AddAndShow(strOther, 30));
    EXPECT_EQ(dwThread, watch.ThreadId()) << "the same folder's watch is kept";

    // The system asks whether the volume holding the folder may go.
    DEV_BROADCAST_HANDLE notice = {};
    notice.dbch_size = sizeof(notice);
    notice.dbch_devicetype = DBT_DEVTYP_HANDLE;
    notice.dbch_handle = watch.FolderHandle();
    EXPECT_EQ(TRUE, ::SendMessageW(m_hWnd, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, reinterpret_cast<LPARAM>(&notice)));
    EXPECT_FALSE(watch.IsWatching());
    EXPECT_EQ(INVALID_HANDLE_VALUE, watch.FolderHandle()) << "nothing of the volume is held open";
    EXPECT_EQ(strOther, m_pViewer->m_strCurPath);
    EXPECT_TRUE(Shows(30, 0xFF0AC80Au)) << "the picture stays shown";
}
