#include "framework/WinApp.h"
#include "framework/Wnd.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace TestSupport;

namespace
{
const wchar_t kClass[] = L"PictaroFrameworkTest";

void RegisterTestClass()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc);
}

// Records what reaches the object and deletes itself when its window goes.
class CRecordingWnd : public CWnd
{
public:
    explicit CRecordingWnd(int* pnDeleted) : m_pnDeleted(pnDeleted) {}
    ~CRecordingWnd() override { ++*m_pnDeleted; }

    BOOL Create(DWORD dwExStyle = 0)
    {
        return CreateEx(dwExStyle, kClass, L"test", WS_POPUP, 0, 0, 50, 40, nullptr, nullptr);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        m_vecMessages.push_back(message);
        if (message == WM_CREATE)
            m_nCreateResult = static_cast<int>(Default());
        return CWnd::WindowProc(message, wParam, lParam);
    }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        m_vecPreTranslated.push_back(pMsg->message);
        return pMsg->message == WM_APP + 1;
    }
    void PostNcDestroy() override { delete this; }

    std::vector<UINT> m_vecMessages;
    std::vector<UINT> m_vecPreTranslated;
    int m_nCreateResult = -1;

private:
    int* m_pnDeleted;
};

class WndTest : public ::testing::Test
{
protected:
    void SetUp() override { RegisterTestClass(); }
    int m_nDeleted = 0;
};
} // namespace

TEST_F(WndTest, ObjectSeesCreationFromTheFirstMessage)
{
    auto* pWnd = new CRecordingWnd(&m_nDeleted);
    ASSERT_TRUE(pWnd->Create());
    ASSERT_FALSE(pWnd->m_vecMessages.empty());
    EXPECT_EQ(static_cast<UINT>(WM_NCCREATE), pWnd->m_vecMessages.front());
    EXPECT_NE(pWnd->m_vecMessages.end(),
              std::find(pWnd->m_vecMessages.begin(), pWnd->m_vecMessages.end(), static_cast<UINT>(WM_CREATE)));
    EXPECT_EQ(0, pWnd->m_nCreateResult) << "default processing of WM_CREATE";
    EXPECT_EQ(pWnd, CWnd::FromHandlePermanent(pWnd->m_hWnd));

    HWND hWnd = pWnd->m_hWnd;
    ::DestroyWindow(hWnd);
    EXPECT_EQ(1, m_nDeleted) << "a self-deleting window is deleted exactly once";
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
}

TEST_F(WndTest, MainWindowPostsQuitWhenDestroyed)
{
    CWinApp app;
    auto* pWnd = new CRecordingWnd(&m_nDeleted);
    ASSERT_TRUE(pWnd->Create());
    app.m_pMainWnd = pWnd;
    ::DestroyWindow(pWnd->m_hWnd);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, msg.wParam);
}

TEST_F(WndTest, OtherWindowsDoNotPostQuit)
{
    CWinApp app;
    auto* pWnd = new CRecordingWnd(&m_nDeleted);
    ASSERT_TRUE(pWnd->Create());
    ::DestroyWindow(pWnd->m_hWnd);
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(WndTest, MainWindowPreTranslatesMessagesOfOtherTopLevelWindows)
{
    auto* pMain = new CRecordingWnd(&m_nDeleted);
    auto* pOther = new CRecordingWnd(&m_nDeleted);
    ASSERT_TRUE(pMain->Create());
    ASSERT_TRUE(pOther->Create());

    MSG msg = {pOther->m_hWnd, WM_KEYDOWN, VK_LEFT, 0, 0, {0, 0}};
    EXPECT_FALSE(AfxPreTranslateMessage(&msg, pMain));
    EXPECT_EQ(std::vector<UINT>{WM_KEYDOWN}, pOther->m_vecPreTranslated);
    EXPECT_EQ(std::vector<UINT>{WM_KEYDOWN}, pMain->m_vecPreTranslated);

    msg.message = WM_APP + 1; // consumed by the target: the main window never sees it
    EXPECT_TRUE(AfxPreTranslateMessage(&msg, pMain));
    EXPECT_EQ(1u, pMain->m_vecPreTranslated.size());

    msg.hwnd = pMain->m_hWnd;
    msg.message = WM_KEYUP; // the main window's own message is offered once
    AfxPreTranslateMessage(&msg, pMain);
    EXPECT_EQ(2u, pMain->m_vecPreTranslated.size());

    ::DestroyWindow(pOther->m_hWnd);
    ::DestroyWindow(pMain->m_hWnd);
    EXPECT_EQ(2, m_nDeleted);
}

TEST_F(WndTest, DeletingTheObjectDestroysItsWindow)
{
    struct CPlainWnd : CWnd
    {
    };
    auto* pWnd = new CPlainWnd;
    ASSERT_TRUE(pWnd->CreateEx(0, kClass, L"plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    HWND hWnd = pWnd->m_hWnd;
    delete pWnd;
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
}

TEST_F(WndTest, MessageBoxCaptionIsTheExecutableName)
{
    EXPECT_STREQ(L"test_framework", AfxGetAppName());
    auto* pWnd = new CRecordingWnd(&m_nDeleted);
    ASSERT_TRUE(pWnd->Create());
    {
        CMessageBoxWatcher watcher;
        EXPECT_EQ(IDOK, pWnd->MessageBox(L"text of the box"));
        ASSERT_EQ(1u, watcher.m_vecBoxes.size());
        EXPECT_EQ(L"test_framework", watcher.m_vecBoxes[0].strCaption);
        EXPECT_EQ(L"text of the box", watcher.m_vecBoxes[0].strText);
        EXPECT_EQ(pWnd->m_hWnd, watcher.m_vecBoxes[0].hOwner);
    }
    ::DestroyWindow(pWnd->m_hWnd);
}

TEST_F(WndTest, RegistryKeyIsOnlyRemembered)
{
    CWinApp app;
    app.SetRegistryKey(L"PictaroRegistryProbe");
    EXPECT_EQ(L"PictaroRegistryProbe", app.m_strRegistryKey);
    HKEY hKey = nullptr;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\PictaroRegistryProbe", 0,
                                             KEY_READ, &hKey));
}

TEST_F(WndTest, CancelledCreationLeavesNoHandle)
{
    struct CRefusingWnd : CWnd
    {
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            return message == WM_CREATE ? -1 : CWnd::WindowProc(message, wParam, lParam);
        }
    } wnd;
    EXPECT_FALSE(wnd.CreateEx(0, kClass, L"refused", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(nullptr, wnd.m_hWnd);
}
