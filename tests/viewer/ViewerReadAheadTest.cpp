// Choosing and stepping through the strip's pictures: one decode per cold
// choice, neighbours read ahead on the worker and shown without a decode on
// this thread, never a stale or wrong picture, nothing leaked, and a worker
// that ends with the viewer.

#include "draw/Decode.h"
#include "draw/GdiplusSession.h"
#include "res/resource.h"
#include "strip/TarvoToolWnd.h"
#include "tests/reliability_session/GdiCount.h"
#include "tests/support/LayeredSpy.h"
#include "viewer/ReadAhead.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
// A black 7000 x 5000 photograph: over a second to decode here.
bool WriteBigJpeg(const std::wstring& strPath)
{
    Gdiplus::Bitmap big(7000, 5000, PixelFormat24bppRGB);
    if (big.GetLastStatus() != Gdiplus::Ok)
        return false;
    CLSID clsidJpeg = {};
    return KelDraw::FindImageEncoder(L"image/jpeg", &clsidJpeg) &&
           big.Save(strPath.c_str(), &clsidJpeg, nullptr) == Gdiplus::Ok;
}

uint32_t Opaque(COLORREF colour)
{
    return 0xFF000000u | static_cast<uint32_t>(GetRValue(colour)) << 16 |
           static_cast<uint32_t>(GetGValue(colour)) << 8 | GetBValue(colour);
}

class ViewerReadAheadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        SLayeredSpy::Install(m_pViewer);
        ASSERT_TRUE(WaitShown());
        m_pViewer->ShowToolWnd(TRUE);
        ASSERT_NE(nullptr, m_pViewer->m_pToolWnd);
        m_pStrip = m_pViewer->m_pToolWnd;
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }

    // A flat picture of its own colour and size, added to the strip.
    std::wstring Add(const wchar_t* pszName, int cx, int cy, COLORREF colour)
    {
        const std::wstring strPath = m_folder.Write(pszName, BmpBytes(cx, cy, colour));
        m_mapColours[strPath] = colour;
        EXPECT_EQ(CTarvoToolWnd::ADD_DONE, m_pStrip->AddFile(strPath.c_str()));
        return strPath;
    }
    bool WaitShown()
    {
        return PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }, 20000);
    }
    bool WaitReadAhead()
    {
        return PumpUntil([this] { return m_pViewer->m_pReadAhead && m_pViewer->m_pReadAhead->IsIdle(); }, 30000);
    }
    bool Holds(const std::wstring& strPath) const
    {
        return m_pViewer->m_pReadAhead && m_pViewer->m_pReadAhead->Holds(strPath);
    }
    // A key as the application's loop hands it to the viewer, shown to the end.
    bool Key(UINT nKey)
    {
        MSG msg = {m_hWnd, WM_KEYDOWN, nKey, 0, 0, {}};
        m_pViewer->PreTranslateMessage(&msg);
        return WaitShown();
    }
    // The viewer shows the strip's selected entry: its path, and its file's
    // colour over the whole pushed frame.
    ::testing::AssertionResult ShowsSelected()
    {
        if (!m_pStrip->m_pSelected)
            return ::testing::AssertionFailure() << "nothing selected";
        const std::wstring& strPath = m_pStrip->m_pSelected->m_strPath;
        if (m_pViewer->m_strCurPath != strPath)
            return ::testing::AssertionFailure() << "another path is shown";
        const CPixels& buffer = SLayeredSpy::s_buffer;
        if (buffer.Empty() || buffer.At(0, 0) != Opaque(m_mapColours[strPath]) ||
            buffer.At(buffer.cx - 1, buffer.cy - 1) != Opaque(m_mapColours[strPath]))
            return ::testing::AssertionFailure() << "other pixels are shown";
        return ::testing::AssertionSuccess();
    }

    CTempFolder m_folder;
    std::map<std::wstring, COLORREF> m_mapColours;
    CMessageBoxWatcher m_watcher;
    CTarvoMainWnd* m_pViewer = nullptr;
    CTarvoToolWnd* m_pStrip = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerReadAheadTest, EachChoiceDecodesOnceOrFailsAsBefore)
{
    // A PNG header declaring 24000 x 24000 pixels, and nothing after it.
    const std::string strHugeHeader("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x5D\xC0\0\0\x5D\xC0\x08\x06\0\0\0", 29);
    struct SCase
    {
        const char* pszWhat;
        std::wstring strPath;
        bool bPicture;
        unsigned nMaxDecodes;
    } const cases[] = {
        {"a picture", m_folder.Write(L"a.bmp", BmpBytes(30, 20, RGB(200, 40, 10))), true, 1},
        {"another", m_folder.Write(L"b.bmp", BmpBytes(21, 13, RGB(10, 40, 200))), true, 1},
        {"text named .png", m_folder.Write(L"text.png", "not a picture"), false, 1},
        {"an empty file", m_folder.Write(L"empty.bmp", ""), false, 0},
        {"a missing file", m_folder.Path(L"missing.bmp"), false, 0},
        {"a folder", m_folder.m_strPath, false, 0},
        {"a PNG too large for the process", m_folder.Write(L"huge.png", strHugeHeader), false, 0},
    };
    size_t nBoxes = 0;
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(test.pszWhat);
        const int nPushes = SLayeredSpy::s_nCalls;
        const unsigned nDecodes = KelDraw::DecodesOnThisThread();
        EXPECT_EQ(test.bPicture, m_pViewer->LoadPicture(test.strPath.c_str(), TRUE) != FALSE);
        ASSERT_TRUE(WaitShown());
        if (test.bPicture)
            EXPECT_EQ(nDecodes + 1, KelDraw::DecodesOnThisThread());
        else
            EXPECT_GE(nDecodes + test.nMaxDecodes, KelDraw::DecodesOnThisThread());
        EXPECT_EQ(nPushes + 1, SLayeredSpy::s_nCalls) << "one frame for each choice";
        EXPECT_EQ(test.bPicture ? nBoxes : ++nBoxes, m_watcher.m_vecBoxes.size());
        const CPixels failed = LoadResourcePixels(IDB_FAILED);
        if (test.bPicture)
            EXPECT_EQ(test.strPath, m_pViewer->m_strCurPath);
        else
            EXPECT_EQ(failed.At(120, 75) | 0xFF000000u, SLayeredSpy::s_buffer.At(120, 75));
    }
}

TEST_F(ViewerReadAheadTest, NeighboursAreShownWithoutADecodeHereAndFollowTheSteps)
{
    const std::wstring strA = Add(L"a.bmp", 40, 30, RGB(250, 0, 0));
    const std::wstring strB = Add(L"b.bmp", 41, 31, RGB(0, 250, 0));
    const std::wstring strC = Add(L"c.bmp", 42, 32, RGB(0, 0, 250));
    const std::wstring strD = Add(L"d.bmp", 43, 33, RGB(250, 250, 0));
    m_pStrip->SelectElem(1);
    ASSERT_TRUE(WaitShown());
    ASSERT_TRUE(ShowsSelected());
    ASSERT_TRUE(WaitReadAhead());
    EXPECT_TRUE(Holds(strA));
    EXPECT_TRUE(Holds(strC));
    EXPECT_FALSE(Holds(strD));

    struct SStep
    {
        UINT nKey;
        const std::wstring& strShown;
        const std::wstring& strHeldAfter;
        const std::wstring& strGoneAfter;
    } const steps[] = {
        {VK_RIGHT, strC, strD, strA}, // B, the one shown before, is kept too
        {VK_RIGHT, strD, strC, strB},
        {VK_LEFT, strC, strB, strA},
        {VK_LEFT, strB, strA, strD},
    };
    for (const SStep& step : steps)
    {
        const unsigned nDecodes = KelDraw::DecodesOnThisThread();
        const int nPushes = SLayeredSpy::s_nCalls;
        ASSERT_TRUE(Key(step.nKey));
        EXPECT_EQ(nDecodes, KelDraw::DecodesOnThisThread()) << "no decode on this thread";
        EXPECT_EQ(nPushes + 1, SLayeredSpy::s_nCalls);
        EXPECT_TRUE(ShowsSelected());
        EXPECT_EQ(step.strShown, m_pViewer->m_strCurPath);
        ASSERT_TRUE(WaitReadAhead());
        EXPECT_TRUE(Holds(step.strHeldAfter));
        EXPECT_FALSE(Holds(step.strGoneAfter));
        EXPECT_FALSE(Holds(step.strShown)) << "the one shown belongs to the viewer";
    }
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
}

TEST_F(ViewerReadAheadTest, AFileChangedOnDiskIsReadAgainAndAReloadAlwaysReadsItAfresh)
{
    const std::wstring strA = Add(L"a.bmp", 40, 30, RGB(250, 0, 0));
    const std::wstring strB = Add(L"b.bmp", 41, 31, RGB(0, 250, 0));
    Add(L"c.bmp", 42, 32, RGB(0, 0, 250));
    m_pStrip->SelectElem(0);
    ASSERT_TRUE(WaitShown());
    ASSERT_TRUE(WaitReadAhead());
    ASSERT_TRUE(Holds(strB));

    // Other pixels, another size and a new time: the picture read ahead is
    // of no use.
    m_folder.Write(L"b.bmp", BmpBytes(50, 20, RGB(0, 100, 100)));
    m_mapColours[strB] = RGB(0, 100, 100);
    const unsigned nDecodes = KelDraw::DecodesOnThisThread();
    ASSERT_TRUE(Key(VK_RIGHT));
    EXPECT_EQ(nDecodes + 1, KelDraw::DecodesOnThisThread());
    EXPECT_TRUE(ShowsSelected());
    EXPECT_EQ(50, SLayeredSpy::s_size.cx);

    // Other pixels with the same size and time look unchanged to a plain
    // choice, but a reload reads the file, and what it read before is gone.
    FILETIME ftWrite;
    {
        HANDLE hFile = ::CreateFileW(strB.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        ::GetFileTime(hFile, nullptr, nullptr, &ftWrite);
        ::CloseHandle(hFile);
    }
    m_folder.Write(L"b.bmp", BmpBytes(50, 20, RGB(100, 0, 100)));
    {
        HANDLE hFile = ::CreateFileW(strB.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        ::SetFileTime(hFile, nullptr, nullptr, &ftWrite);
        ::CloseHandle(hFile);
    }
    m_mapColours[strB] = RGB(100, 0, 100);
    ASSERT_TRUE(Key(VK_F5));
    EXPECT_TRUE(ShowsSelected());
    ASSERT_TRUE(Key(VK_RIGHT));
    ASSERT_TRUE(WaitReadAhead());
    ASSERT_TRUE(Key(VK_LEFT));
    EXPECT_TRUE(ShowsSelected()) << "not the picture from before the reload";
    EXPECT_EQ(strA, m_pStrip->m_vecElems[0]->m_strPath);

    // The neighbour read ahead rewritten in the same size, its old time put
    // back: what was read ahead is not handed out.
    ASSERT_TRUE(WaitReadAhead());
    ASSERT_TRUE(Holds(strA));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(strA.c_str(), GetFileExInfoStandard, &data));
    m_folder.Write(L"a.bmp", BmpBytes(40, 30, RGB(120, 120, 0)));
    {
        HANDLE hFile = ::CreateFileW(strA.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        ::SetFileTime(hFile, nullptr, nullptr, &data.ftLastWriteTime);
        ::CloseHandle(hFile);
    }
    m_mapColours[strA] = RGB(120, 120, 0);
    ASSERT_TRUE(Key(VK_LEFT));
    EXPECT_TRUE(ShowsSelected()) << "not the picture read before the rewrite";
}

TEST_F(ViewerReadAheadTest, RemovingReorderingAndRefreshingDuringReadAheadShowTheRightPictureAndLeakNothing)
{
    // Large enough that the worker is often still decoding when the next
    // change comes.
    auto fnFill = [this] {
        for (int i = 0; i < 5; ++i)
        {
            const COLORREF colour = RGB(40 * i + 20, 200 - 30 * i, (i * 70) & 255);
            Add((L"p" + std::to_wstring(i) + L".bmp").c_str(), 1200 + i, 900, colour);
        }
    };
    auto fnCycle = [&](int nCycle) {
        fnFill();
        m_pStrip->SelectElem(nCycle % 5);
        if (!WaitShown() || !ShowsSelected())
            return false;
        bool bAllRight = true;
        const UINT keys[] = {VK_RIGHT, VK_DELETE, VK_LEFT, VK_F5, VK_RIGHT};
        for (const UINT nKey : keys)
        {
            // A reorder first: the selected entry moves in front of the first.
            CElem* pFirst = m_pStrip->m_vecElems.front();
            if (m_pStrip->m_pSelected && m_pStrip->m_pSelected != pFirst)
                m_pStrip->MoveElem(pFirst, m_pStrip->m_pSelected);
            bAllRight = Key(nKey) && ShowsSelected() && bAllRight;
        }
        while (!m_pStrip->m_vecElems.empty())
            Key(VK_DELETE);
        return bAllRight && WaitShown() && m_pViewer->m_strCurPath.empty();
    };

    ASSERT_TRUE(fnCycle(0));
    const size_t nGdiRoom = Reliability::GdiRoomLeft();
    const size_t cbBefore = ProcessMemory();
    for (int nCycle = 1; nCycle <= 12; ++nCycle)
    {
        SCOPED_TRACE(nCycle);
        ASSERT_TRUE(fnCycle(nCycle));
    }
    EXPECT_FALSE(Holds(m_mapColours.begin()->first));
    EXPECT_EQ(nGdiRoom, Reliability::GdiRoomLeft()) << "no GDI object left behind";
    // A leaked picture of these would be 4 MB each.
    if (!HeapChecked())
    {
        EXPECT_LT(ProcessMemory(), cbBefore + (8u << 20));
    }
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
}

TEST_F(ViewerReadAheadTest, ThousandsOfStepsLeaveNoGdiObjectOrPictureBehind)
{
    for (int i = 0; i < 4; ++i)
        Add((L"s" + std::to_wstring(i) + L".bmp").c_str(), 300 + i, 200, RGB(60 * i, 255 - 60 * i, 128));
    m_pStrip->SelectElem(0);
    ASSERT_TRUE(WaitShown());
    auto fnWalk = [this](int nSteps) {
        int nIndex = 0, nStep = 1;
        for (int i = 0; i < nSteps; ++i)
        {
            if (nIndex + nStep < 0 || nIndex + nStep > 3)
                nStep = -nStep;
            nIndex += nStep;
            if (!Key(nStep > 0 ? VK_RIGHT : VK_LEFT) || !ShowsSelected())
                return false;
        }
        return WaitReadAhead();
    };
    // Walks of whole rounds of 6 steps end where they began, with the same
    // neighbours held.
    ASSERT_TRUE(fnWalk(12));
    const size_t nGdiRoom = Reliability::GdiRoomLeft();
    const size_t cbBefore = ProcessMemory();
    ASSERT_TRUE(fnWalk(2004));
    EXPECT_EQ(nGdiRoom, Reliability::GdiRoomLeft());
    if (!HeapChecked())
    {
        EXPECT_LT(ProcessMemory(), cbBefore + (4u << 20));
    }
}

TEST_F(ViewerReadAheadTest, QuittingDuringAReadAheadEndsTheWorkerWithTheViewer)
{
    // A large photograph being decoded ahead when the viewer goes.
    const std::wstring strBig = m_folder.Path(L"big.jpg");
    ASSERT_TRUE(WriteBigJpeg(strBig));
    const std::wstring strSmall = Add(L"small.bmp", 40, 30, RGB(250, 0, 0));
    ASSERT_EQ(CTarvoToolWnd::ADD_DONE, m_pStrip->AddFile(strBig.c_str()));
    m_pStrip->SelectElem(0);
    ASSERT_TRUE(PumpUntil([this] {
        const CReadAhead* pReadAhead = m_pViewer->m_pReadAhead.get();
        return pReadAhead && !pReadAhead->IsIdle() && pReadAhead->WorkerThreadId() != 0;
    }));
    HANDLE hWorker = ::OpenThread(SYNCHRONIZE, FALSE, m_pViewer->m_pReadAhead->WorkerThreadId());
    ASSERT_NE(nullptr, hWorker);

    ::DestroyWindow(m_hWnd);
    EXPECT_FALSE(::IsWindow(m_hWnd));
    // A bound that only a hung worker would reach.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hWorker, 20000));
    ::CloseHandle(hWorker);
}

TEST_F(ViewerReadAheadTest, ThePicturesHeldStayWithinTheBudgetAndTheNextGoesBeforeTheOneLeft)
{
    const size_t MB = size_t(1) << 20;
    // From the first of three entries, one step on: the picture left is
    // kept where it fits, the next is read ahead where it fits.
    struct SRow
    {
        const char* pszWhat;
        size_t cbBudget;
        SIZE left, shown, next;
        bool bLeftKept, bNextAhead;
    } const rows[] = {
        {"all three fit", 4 * MB, {500, 500}, {500, 500}, {500, 500}, true, true},
        // The 32-bit build's budget with 24 MP photos.
        {"two fit", 256 * MB, {6000, 4000}, {6000, 4000}, {6000, 4000}, false, true},
        {"the one shown and the one left pass it", 4 * MB, {800, 700}, {800, 700}, {400, 300}, false, true},
        {"the one shown alone passes it", 2 * MB, {400, 300}, {1000, 600}, {400, 300}, false, false},
    };
    int nRow = 0;
    for (const SRow& row : rows)
    {
        SCOPED_TRACE(row.pszWhat);
        ++nRow;
        // Set while nothing of a file is shown.
        m_pViewer->m_pReadAhead.reset(new CReadAhead(row.cbBudget));
        const std::wstring strRow = std::to_wstring(nRow);
        const std::wstring strLeft = Add((L"left" + strRow + L".bmp").c_str(), row.left.cx, row.left.cy, RGB(200, 0, 0));
        const std::wstring strShown =
            Add((L"shown" + strRow + L".bmp").c_str(), row.shown.cx, row.shown.cy, RGB(0, 200, 0));
        const std::wstring strNext = Add((L"next" + strRow + L".bmp").c_str(), row.next.cx, row.next.cy, RGB(0, 0, 200));
        m_pStrip->SelectElem(0);
        ASSERT_TRUE(WaitShown());
        ASSERT_TRUE(WaitReadAhead());
        ASSERT_TRUE(Key(VK_RIGHT));
        ASSERT_TRUE(WaitReadAhead());
        EXPECT_EQ(strShown, m_pViewer->m_strCurPath);
        EXPECT_EQ(row.bLeftKept, Holds(strLeft));
        EXPECT_EQ(row.bNextAhead, Holds(strNext));
        const size_t cbShown = static_cast<size_t>(row.shown.cx) * static_cast<size_t>(row.shown.cy) * 4;
        EXPECT_LE(m_pViewer->m_pReadAhead->CountedBytes(), std::max(row.cbBudget, cbShown));

        const unsigned nDecodes = KelDraw::DecodesOnThisThread();
        ASSERT_TRUE(Key(VK_RIGHT));
        EXPECT_TRUE(ShowsSelected());
        if (row.bNextAhead)
        {
            EXPECT_EQ(nDecodes, KelDraw::DecodesOnThisThread()) << "the next is shown as read ahead";
        }
        while (!m_pStrip->m_vecElems.empty())
            ASSERT_TRUE(Key(VK_DELETE));
        for (const std::wstring& strPath : {strLeft, strShown, strNext})
            ::DeleteFileW(strPath.c_str());
    }
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
}

TEST(ReadAheadTest, AFileWantedAgainAfterItsDecodeWasCancelledIsReadAhead)
{
    CTempFolder folder;
    const std::wstring strBig = folder.Path(L"big.jpg");
    ASSERT_TRUE(WriteBigJpeg(strBig));
    const std::wstring strSmall = folder.Write(L"small.bmp", BmpBytes(30, 20, RGB(1, 2, 3)));
    CReadAhead readAhead;
    readAhead.Plan({strBig});
    // The worker has started on it (its decode takes far longer than this).
    ASSERT_TRUE(PumpUntil([&readAhead] { return readAhead.WorkerThreadId() != 0; }));
    ::Sleep(100);
    readAhead.Plan({strSmall});
    readAhead.Plan({strBig});
    ASSERT_TRUE(PumpUntil([&readAhead] { return readAhead.IsIdle(); }, 30000));
    EXPECT_TRUE(readAhead.Holds(strBig));
    EXPECT_FALSE(readAhead.Holds(strSmall));
}
