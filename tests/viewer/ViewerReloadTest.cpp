#include "viewer/TarvoMainWnd.h"

#include "strip/TarvoToolWnd.h"
#include "tests/support/LayeredSpy.h"
#include "tests/support/TestSupport.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <string>

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
    uint32_t ThumbnailCentre() const
    {
        return ReadBitmap(m_pViewer->m_pToolWnd->m_vecElems[0]->m_hThumb).At(44, 41);
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
    EXPECT_EQ(1u, m_pViewer->m_pToolWnd->m_vecElems.size());
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

    // Back under its name with content that is no picture: told, then the failure picture.
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
