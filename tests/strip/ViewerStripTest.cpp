#include "tests/strip/StripTestSupport.h"
#include "tests/support/RealInput.h"

#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <functional>

using namespace RealInput;
using namespace StripTest;
using namespace TestSupport;

namespace
{
class ViewerStripTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hViewer = m_pViewer->m_hWnd;
    }
    void TearDown() override
    {
        if (::IsWindow(m_hViewer))
            ::DestroyWindow(m_hViewer);
    }

    // Drops the files on the viewer, as the shell does; the drop handle.
    HDROP DropOnViewer(const std::vector<std::wstring>& vecNames)
    {
        HDROP hDrop = TestSupport::MakeDropFiles(vecNames);
        ::SendMessageW(m_hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
        return hDrop;
    }
    std::vector<std::wstring> EntryPaths() const
    {
        std::vector<std::wstring> vecPaths;
        for (const CElem* pElem : m_pViewer->m_pToolWnd->m_vecElems)
            vecPaths.push_back(pElem->m_strPath);
        return vecPaths;
    }

    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hViewer = nullptr;
};
} // namespace

TEST_F(ViewerStripTest, StripIsMadeOnceAsATopmostToolWindowAlongTheBottom)
{
    EXPECT_EQ(nullptr, m_pViewer->m_pToolWnd);
    m_pViewer->ShowToolWnd(FALSE);
    CTarvoToolWnd* pStrip = m_pViewer->m_pToolWnd;
    ASSERT_NE(nullptr, pStrip);
    const HWND hStrip = pStrip->m_hWnd;
    ASSERT_NE(nullptr, hStrip);
    EXPECT_FALSE(::IsWindowVisible(hStrip)) << "made hidden when asked to hide";

    RECT rcWork, rc;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    ::GetWindowRect(hStrip, &rc);
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(rcWork.bottom - 120, rc.top);
    EXPECT_EQ(rcWork.right - rcWork.left, rc.right - rc.left);
    EXPECT_EQ(rcWork.bottom, rc.bottom);

    const LONG lExStyle = ::GetWindowLongW(hStrip, GWL_EXSTYLE);
    EXPECT_TRUE(lExStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(lExStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(lExStyle & WS_EX_ACCEPTFILES);
    EXPECT_TRUE(::GetWindowLongW(hStrip, GWL_STYLE) & WS_POPUP);
    EXPECT_EQ(nullptr, ::GetWindow(hStrip, GW_OWNER));
    EXPECT_EQ(0u, ::GetClassLongW(hStrip, GCL_STYLE));
    EXPECT_EQ(0u, ::GetClassLongPtrW(hStrip, GCLP_HCURSOR));
    EXPECT_EQ(0u, ::GetClassLongPtrW(hStrip, GCLP_HBRBACKGROUND));
    EXPECT_EQ(0u, ::GetClassLongPtrW(hStrip, GCLP_HICON));
    // The strip's own drop target is registered for its window: another cannot be.
    CRoDroptarget other(nullptr);
    EXPECT_FALSE(other.Register(pStrip));
    EXPECT_TRUE(other.Register(m_pViewer)) << "the viewer has none";
    other.Revoke();

    m_pViewer->ShowToolWnd(TRUE);
    EXPECT_TRUE(::IsWindowVisible(hStrip));
    m_pViewer->ShowToolWnd(FALSE);
    EXPECT_FALSE(::IsWindowVisible(hStrip));
    m_pViewer->ShowToolWnd(TRUE);
    EXPECT_EQ(pStrip, m_pViewer->m_pToolWnd) << "made once";
    EXPECT_EQ(hStrip, pStrip->m_hWnd);

    ::DestroyWindow(m_hViewer);
    EXPECT_FALSE(::IsWindow(hStrip)) << "the viewer takes the strip with it";
}

TEST_F(ViewerStripTest, ClickingAThumbnailShowsItsPicture)
{
    CTempFolder dir;
    const std::wstring strWide = dir.Path(L"wide.png");
    const std::wstring strTall = dir.Path(L"tall.bmp");
    ASSERT_TRUE(WriteSolidPicture(strWide, 60, 30, RGB(255, 0, 0)));
    ASSERT_TRUE(WriteSolidPicture(strTall, 40, 70, RGB(0, 0, 255), L"image/bmp"));
    // Dropped on the viewer, as from the shell; the viewer releases the handle.
    HDROP hDrop = TestSupport::MakeDropFiles({strWide, strTall});
    ::SendMessageW(m_hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
    ASSERT_NE(nullptr, m_pViewer->m_pToolWnd);
    CTarvoToolWnd* pStrip = m_pViewer->m_pToolWnd;
    ASSERT_EQ(2u, pStrip->m_vecElems.size());
    EXPECT_EQ(strTall, m_pViewer->m_strCurPath) << "the last dropped file is shown";
    m_pViewer->ShowToolWnd(TRUE);
    ASSERT_TRUE(PumpUntil([&] { return !m_pViewer->m_bRedrawPending; }));

    // A real click on the first thumbnail.
    RECT rcStrip;
    ::GetWindowRect(pStrip->m_hWnd, &rcStrip);
    const int x = rcStrip.left + 64;
    const int y = rcStrip.top + 51;
    SendMouse(x, y);
    SendMouse(x, y, MOUSEEVENTF_LEFTDOWN);
    SendMouse(x, y, MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(PumpUntil([&] { return m_pViewer->m_strCurPath == strWide && !m_pViewer->m_bRedrawPending; }));
    EXPECT_EQ(0, m_pViewer->m_nCurIndex);
    EXPECT_EQ(pStrip->m_vecElems[0], pStrip->m_pSelected);
    RECT rcViewer;
    ::GetWindowRect(m_hViewer, &rcViewer);
    EXPECT_EQ(60, rcViewer.right - rcViewer.left);
    EXPECT_EQ(30, rcViewer.bottom - rcViewer.top);
}

// The viewer adds what is dropped on it to the strip and finishes the handle
// itself; the strip never gets the handle to finish a second time.
TEST_F(ViewerStripTest, ADropOnTheViewerIsFinishedOnceByTheViewer)
{
    CTempFolder dir;
    const std::wstring strA = dir.Path(L"a.png");
    ASSERT_TRUE(WriteSolidPicture(strA, 60, 30, RGB(255, 0, 0)));
    m_pViewer->ShowToolWnd(FALSE);
    ASSERT_NE(nullptr, m_pViewer->m_pToolWnd);
    CMessageSpy spy(m_pViewer->m_pToolWnd->m_hWnd, {WM_DROPFILES});

    const HDROP hDrop = DropOnViewer({strA});
    EXPECT_EQ(std::vector<std::wstring>{strA}, EntryPaths());
    EXPECT_EQ(GMEM_INVALID_HANDLE, ::GlobalFlags(hDrop)) << "the handle is finished";
    EXPECT_EQ(0u, spy.Count(WM_DROPFILES)) << "the strip was handed the drop to finish as well";
}

// Closing the strip the way the window system does only hides it: Tab shows
// it again with its entries, and drops still reach it.
TEST_F(ViewerStripTest, ClosingTheStripHidesItForTabToShowAgain)
{
    CTempFolder dir;
    std::vector<std::wstring> vecPaths;
    for (const wchar_t* pszName : {L"a.png", L"b.png", L"c.png", L"d.png", L"e.png"})
    {
        vecPaths.push_back(dir.Path(pszName));
        ASSERT_TRUE(WriteSolidPicture(vecPaths.back(), 60, 30, RGB(0, 0, 255)));
    }
    DropOnViewer({vecPaths[0], vecPaths[1]});
    ASSERT_NE(nullptr, m_pViewer->m_pToolWnd);
    CTarvoToolWnd* pStrip = m_pViewer->m_pToolWnd;
    const HWND hStrip = pStrip->m_hWnd;
    m_pViewer->ShowToolWnd(TRUE);
    ASSERT_TRUE(PumpUntil([&] { return !m_pViewer->m_bRedrawPending; }, 10000, m_pViewer));

    struct SCase
    {
        const char* pszName;
        std::function<void()> fnClose;
    };
    const SCase cases[] = {
        {"Alt+F4",
         [&] {
             // A click where no entry is makes the strip the active window.
             RECT rc;
             ::GetWindowRect(hStrip, &rc);
             const POINT pt = {rc.right - 60, rc.top + 50};
             MoveTo(pt);
             LeftButton(true);
             LeftButton(false);
             ASSERT_TRUE(PumpUntil([&] { return ::GetActiveWindow() == hStrip; }, 5000, m_pViewer));
             PressKeys({VK_MENU, VK_F4});
         }},
        {"WM_CLOSE", [&] { ::SendMessageW(hStrip, WM_CLOSE, 0, 0); }},
        {"SC_CLOSE", [&] { ::SendMessageW(hStrip, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    size_t nDropped = 2;
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        ASSERT_TRUE(::IsWindowVisible(hStrip));
        c.fnClose();
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(hStrip); }, 5000, m_pViewer)) << "hidden";
        ASSERT_TRUE(::IsWindow(hStrip)) << "the window is kept";
        EXPECT_EQ(pStrip, m_pViewer->m_pToolWnd);

        // A drop while hidden still adds, and keeps it hidden.
        DropOnViewer({vecPaths[nDropped++]});
        EXPECT_EQ(std::vector<std::wstring>(vecPaths.begin(), vecPaths.begin() + nDropped), EntryPaths());
        EXPECT_FALSE(::IsWindowVisible(hStrip));

        // Tab, as the application's loop offers it to the viewer.
        ::PostMessageW(m_hViewer, WM_KEYDOWN, VK_TAB, 0);
        EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(hStrip) != FALSE; }, 5000, m_pViewer)) << "shown";
        ASSERT_TRUE(PumpUntil([&] { return !m_pViewer->m_bRedrawPending; }, 10000, m_pViewer));
    }
}
