#include "framework/WinApp.h"
#include "res/resource.h"
#include "strip/TarvoToolWnd.h"
#include "tests/support/TestSupport.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
// The real viewer, with a record of the system commands and menus it meets.
class CInputViewer : public CTarvoMainWnd
{
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MINIMIZE)
            ++m_nMinimized;
        if (message == WM_INITMENUPOPUP)
            RecordMenu(reinterpret_cast<HMENU>(wParam));
        if (message == WM_ENTERIDLE && wParam == MSGF_MENU)
            ::EndMenu();
        return CTarvoMainWnd::WindowProc(message, wParam, lParam);
    }

    void RecordMenu(HMENU hMenu)
    {
        m_vecMenu.clear();
        for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i)
        {
            wchar_t szText[32] = {};
            MENUITEMINFOW mii = {};
            mii.cbSize = sizeof(mii);
            mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
            mii.dwTypeData = szText;
            mii.cch = 32;
            ::GetMenuItemInfoW(hMenu, static_cast<UINT>(i), TRUE, &mii);
            std::wstring strItem = (mii.fType & MFT_SEPARATOR) ? L"-" : std::to_wstring(mii.wID) + L" " + szText;
            if (mii.fState & MFS_CHECKED)
                strItem += L" [checked]";
            m_vecMenu.push_back(strItem);
        }
    }

    int m_nMinimized = 0;
    std::vector<std::wstring> m_vecMenu;
};

class ViewerInputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CInputViewer;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    // A press as the window sees it. The release is queued first: the move
    // loop a press may start then ends at once instead of waiting for the mouse.
    void Press(int x = 40, int y = 40)
    {
        ::PostMessageW(m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        ::SendMessageW(m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        MSG msg;
        while (::PeekMessageW(&msg, m_hWnd, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE))
        {
        }
    }
    void ClickWindowEnds() { ::SendMessageW(m_hWnd, WM_TIMER, CTarvoMainWnd::TIMER_CLICK, 0); }
    // A key as the application's loop offers it, to the window that has the focus.
    BOOL KeyDown(UINT nVirtKey, HWND hFocus)
    {
        MSG msg = {hFocus, WM_KEYDOWN, nVirtKey, 0, 0, {0, 0}};
        return AfxPreTranslateMessage(&msg, m_pViewer);
    }
    void ShowStrip() { m_pViewer->ShowToolWnd(TRUE); }
    CTarvoToolWnd* Strip() const { return m_pViewer->m_pToolWnd; }
    int SelectedIndex() const { return Strip()->m_pSelected ? Strip()->m_pSelected->m_nIndex : -1; }
    static std::wstring Picture(const wchar_t* pszName)
    {
        return SourcePath(std::wstring(L"tests\\pictures\\") + pszName);
    }

    CInputViewer* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerInputTest, TwoPressesMakeADoubleClickOnlyAfterAClickWindowRanOut)
{
    // P: a press; T: the click window runs out (timer 2001).
    struct SCase
    {
        const char* pszEvents;
        int nMinimized;
        BOOL bClickTimer;
        BOOL bArmed;
    } const cases[] = {
        {"P", 0, TRUE, FALSE},      {"PP", 0, TRUE, FALSE},     {"PT", 0, FALSE, TRUE},
        {"PTP", 0, TRUE, TRUE},     {"PTPP", 1, TRUE, FALSE},   {"PTPPP", 1, TRUE, FALSE},
        {"PTPTPP", 1, TRUE, FALSE}, {"PTPPTPP", 2, TRUE, FALSE},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszEvents);
        m_pViewer->m_nMinimized = 0;
        m_pViewer->m_bClickTimer = FALSE;
        m_pViewer->m_bDblClickArmed = FALSE;
        for (const char* p = c.pszEvents; *p; ++p)
            *p == 'P' ? Press() : ClickWindowEnds();
        EXPECT_EQ(c.nMinimized, m_pViewer->m_nMinimized);
        EXPECT_EQ(c.bClickTimer, m_pViewer->m_bClickTimer);
        EXPECT_EQ(c.bArmed, m_pViewer->m_bDblClickArmed);
        ::ShowWindow(m_hWnd, SW_RESTORE);
    }
}

TEST_F(ViewerInputTest, ContextMenuOffersTopmostAndCloseWithTheTopmostCheck)
{
    ::SendMessageW(m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, 30));
    EXPECT_EQ((std::vector<std::wstring>{L"10001 置顶", L"-", L"10002 关闭"}), m_pViewer->m_vecMenu);

    m_pViewer->m_bTopMost = TRUE;
    ::SendMessageW(m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, 30));
    EXPECT_EQ((std::vector<std::wstring>{L"10001 置顶 [checked]", L"-", L"10002 关闭"}), m_pViewer->m_vecMenu);
}

TEST_F(ViewerInputTest, TopmostCommandTogglesAndSurvivesAPictureChange)
{
    auto bTopmost = [this] { return (::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    ::SendMessageW(m_hWnd, WM_COMMAND, CTarvoMainWnd::ID_TOPMOST, 0);
    EXPECT_TRUE(m_pViewer->m_bTopMost);
    EXPECT_TRUE(bTopmost());

    m_pViewer->ShowPlaceholder(IDB_FAILED);
    ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    EXPECT_TRUE(bTopmost());

    ::SendMessageW(m_hWnd, WM_COMMAND, CTarvoMainWnd::ID_TOPMOST, 0);
    EXPECT_FALSE(m_pViewer->m_bTopMost);
    EXPECT_FALSE(bTopmost());
}

TEST_F(ViewerInputTest, CloseCommandAndEscDestroyTheViewer)
{
    ::SendMessageW(m_hWnd, WM_COMMAND, CTarvoMainWnd::ID_CLOSE, 0);
    EXPECT_TRUE(::IsWindow(m_hWnd)) << "the close is posted, not run inside the menu";
    EXPECT_TRUE(PumpUntil([this] { return !::IsWindow(m_hWnd); }));

    SetUp();
    ShowStrip();
    MSG msg = {m_pViewer->m_pToolWnd->m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    EXPECT_FALSE(AfxPreTranslateMessage(&msg, m_pViewer)) << "Esc on the strip is not consumed";
    EXPECT_TRUE(PumpUntil([this] { return !::IsWindow(m_hWnd); }));
}

TEST_F(ViewerInputTest, KeysWithoutAStripOnlyCloseAndMakeTheStrip)
{
    for (UINT nKey : {VK_LEFT, VK_RIGHT, VK_DELETE, VK_F5})
    {
        EXPECT_FALSE(KeyDown(nKey, m_hWnd));
        EXPECT_EQ(nullptr, Strip());
    }

    EXPECT_FALSE(KeyDown(VK_TAB, m_hWnd));
    ASSERT_NE(nullptr, Strip());
    ASSERT_TRUE(::IsWindowVisible(Strip()->m_hWnd));
    RECT rcWork, rcStrip;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    ::GetWindowRect(Strip()->m_hWnd, &rcStrip);
    EXPECT_EQ(0, rcStrip.left);
    EXPECT_EQ(rcWork.bottom - 120, rcStrip.top);
    EXPECT_EQ(rcWork.right - rcWork.left, rcStrip.right);
    EXPECT_EQ(rcWork.bottom, rcStrip.bottom);
    EXPECT_TRUE(::GetWindowLongW(Strip()->m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);

    KeyDown(VK_TAB, Strip()->m_hWnd);
    EXPECT_FALSE(::IsWindowVisible(Strip()->m_hWnd));
    KeyDown(VK_TAB, m_hWnd);
    EXPECT_TRUE(::IsWindowVisible(Strip()->m_hWnd));
}

TEST_F(ViewerInputTest, KeysStepRemoveAndRefreshFromTheCurrentIndex)
{
    ShowStrip();
    for (const wchar_t* pszName : {L"bmp24.bmp", L"gif.gif", L"jpeg-baseline.jpg"})
        ASSERT_EQ(0, Strip()->AddFile(Picture(pszName).c_str()));
    Strip()->RecalcLayout();

    // Before anything was reported the current index is 0.
    struct SStep
    {
        UINT nKey;
        bool bFromStrip; // the strip has the focus
        int nSelected;
        size_t nCount;
    } const steps[] = {
        {VK_RIGHT, false, 1, 3}, {VK_RIGHT, true, 2, 3}, {VK_RIGHT, false, 2, 3}, {VK_LEFT, true, 1, 3},
        {VK_DELETE, false, 1, 2}, {VK_F5, true, 1, 2},  {VK_LEFT, false, 0, 2},  {VK_LEFT, false, 0, 2},
        {VK_DELETE, true, 0, 1},  {VK_DELETE, false, -1, 0},
    };
    for (const SStep& step : steps)
    {
        SCOPED_TRACE(testing::Message() << "key " << step.nKey << " selected " << step.nSelected);
        EXPECT_FALSE(KeyDown(step.nKey, step.bFromStrip ? Strip()->m_hWnd : m_hWnd));
        EXPECT_EQ(step.nSelected, SelectedIndex());
        EXPECT_EQ(step.nSelected, m_pViewer->m_nCurIndex);
        EXPECT_EQ(step.nCount, Strip()->m_vecElems.size());
    }
    EXPECT_TRUE(m_pViewer->m_strCurPath.empty()) << "the empty strip brings the start picture back";
}

TEST_F(ViewerInputTest, DroppedFilesFillAHiddenStripAndShowTheLastOne)
{
    CTempFolder folder;
    const std::wstring strText = folder.Write(L"notes.png", "not a picture");

    HDROP hDrop = MakeDropFiles({Picture(L"bmp24.bmp"), folder.m_strPath, folder.Path(L"missing.png"),
                                 Picture(L"gif.gif"), strText});
    ::SendMessageW(m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
    EXPECT_EQ(0u, ::GlobalSize(hDrop)) << "the drop handle is released";
    ASSERT_NE(nullptr, Strip());
    EXPECT_FALSE(::IsWindowVisible(Strip()->m_hWnd));
    ASSERT_EQ(2u, Strip()->m_vecElems.size());
    EXPECT_EQ(1, SelectedIndex());
    EXPECT_EQ(Picture(L"gif.gif"), m_pViewer->m_strCurPath);

    // Nothing of this drop can be added: the last entry is chosen again.
    ShowStrip();
    hDrop = MakeDropFiles({strText, folder.Path(L"missing.png")});
    ::SendMessageW(m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
    EXPECT_TRUE(::IsWindowVisible(Strip()->m_hWnd)) << "a shown strip stays shown";
    EXPECT_EQ(2u, Strip()->m_vecElems.size());
    EXPECT_EQ(1, SelectedIndex());
    EXPECT_EQ(Picture(L"gif.gif"), m_pViewer->m_strCurPath);
}

TEST_F(ViewerInputTest, KeysActOnTheShownEntryWhereverAReorderMovedIt)
{
    ShowStrip();
    const std::wstring strA = Picture(L"bmp24.bmp"), strB = Picture(L"gif.gif"), strC = Picture(L"jpeg-baseline.jpg");
    for (const std::wstring& strPath : {strA, strB, strC})
        ASSERT_EQ(0, Strip()->AddFile(strPath.c_str()));
    Strip()->RecalcLayout();
    Strip()->SelectElem(0);
    ASSERT_EQ(strA, m_pViewer->m_strCurPath);

    // A dropped onto C: B A C. The viewer is not told and still shows A.
    ASSERT_TRUE(Strip()->MoveElem(Strip()->m_vecElems[2], Strip()->m_vecElems[0]));
    ASSERT_EQ(strA, Strip()->m_vecElems[1]->m_strPath);
    EXPECT_EQ(strA, m_pViewer->m_strCurPath);

    KeyDown(VK_RIGHT, m_hWnd);
    EXPECT_EQ(strC, m_pViewer->m_strCurPath) << "the entry after A";
    KeyDown(VK_LEFT, m_hWnd);
    EXPECT_EQ(strA, m_pViewer->m_strCurPath);
    KeyDown(VK_DELETE, Strip()->m_hWnd);
    ASSERT_EQ(2u, Strip()->m_vecElems.size());
    EXPECT_EQ(strB, Strip()->m_vecElems[0]->m_strPath) << "A left the strip, not B";
    EXPECT_EQ(strC, Strip()->m_vecElems[1]->m_strPath);
}

TEST_F(ViewerInputTest, NoThumbnailCanStartALoadWhileALoadFailureIsTold)
{
    CTempFolder folder;
    const std::wstring strBroken = folder.Write(L"broken.bmp", ReadFileBytes(Picture(L"bmp24.bmp")));
    ShowStrip();
    ASSERT_EQ(0, Strip()->AddFile(Picture(L"gif.gif").c_str()));
    ASSERT_EQ(0, Strip()->AddFile(strBroken.c_str()));
    Strip()->RecalcLayout();
    folder.Write(L"broken.bmp", "no longer a picture");

    // While the box is up, a real click on the first thumbnail.
    CMessageBoxWatcher watcher;
    watcher.m_dwAnswerAfterMs = 500;
    watcher.m_fnShown = [this] {
        const RECT& rcBox = Strip()->m_vecElems[0]->m_rcBox;
        POINT pt = {(rcBox.left + rcBox.right) / 2, (rcBox.top + rcBox.bottom) / 2};
        ::ClientToScreen(Strip()->m_hWnd, &pt);
        ::SetCursorPos(pt.x, pt.y);
        INPUT inputs[2] = {};
        inputs[0].type = inputs[1].type = INPUT_MOUSE;
        inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ::SendInput(2, inputs, sizeof(INPUT));
    };
    Strip()->SelectElem(1);
    ASSERT_EQ(1u, watcher.m_vecBoxes.size());
    PumpUntil([] { return false; }, 300); // whatever the click left queued
    EXPECT_EQ(1, SelectedIndex()) << "the failed entry stays chosen";
    EXPECT_TRUE(m_pViewer->m_strCurPath.empty()) << "the failure placeholder, not the clicked picture";
    EXPECT_TRUE(::IsWindowEnabled(Strip()->m_hWnd)) << "the strip takes input again";
}
