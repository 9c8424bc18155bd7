#include "framework/WinApp.h"
#include "framework/Wnd.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <string>
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
        if (message == WM_CREATE && m_pszRefusal)
        {
            AfxMessageBox(m_pszRefusal);
            return -1;
        }
        if (message == WM_CREATE)
            m_nCreateResult = static_cast<int>(Default());
        return CWnd::WindowProc(message, wParam, lParam);
    }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        m_vecPreTranslated.push_back(pMsg->message);
        if (pMsg->message == m_nThrowOn)
            throw std::bad_alloc();
        return pMsg->message == WM_APP + 1;
    }
    void PostNcDestroy() override { DeleteWhenUnused(); }

    std::vector<UINT> m_vecMessages;
    std::vector<UINT> m_vecPreTranslated;
    int m_nCreateResult = -1;
    // Shown in a message box at WM_CREATE, which then refuses the window.
    const wchar_t* m_pszRefusal = nullptr;
    // Pre-translating this message runs out of memory.
    UINT m_nThrowOn = 0;

private:
    int* m_pnDeleted;
};

class WndTest : public ::testing::Test
{
protected:
    void SetUp() override { RegisterTestClass(); }
    void TearDown() override
    {
        // Nothing a failed test posted reaches the next one.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
        }
    }
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

TEST_F(WndTest, FailedCreationEndsASelfDeletingObjectExactlyOnce)
{
    struct SFailure
    {
        const char* pszWhat;
        const wchar_t* pszClass;
        const wchar_t* pszRefusal;
    };
    const SFailure failures[] = {
        {"refused at WM_CREATE", kClass, L"refused"},
        {"no such class", L"PictaroNoSuchClass", nullptr},
    };
    for (const SFailure& failure : failures)
    {
        SCOPED_TRACE(failure.pszWhat);
        CMessageBoxWatcher watcher;
        int nDeleted = 0;
        auto* pWnd = new CRecordingWnd(&nDeleted);
        pWnd->m_pszRefusal = failure.pszRefusal;
        EXPECT_FALSE(pWnd->CreateEx(0, failure.pszClass, L"failed", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
        // pWnd is gone: the caller of a failed creation never deletes it.
        EXPECT_EQ(1, nDeleted);
    }
}

TEST_F(WndTest, RefusedMainWindowEndsTheApplicationWithZeroAfterItsMessage)
{
    struct CRefusedApp : CWinApp
    {
        BOOL InitInstance() override
        {
            auto* pWnd = new CRecordingWnd(m_pnDeleted);
            pWnd->m_pszRefusal = L"cannot go on";
            if (!pWnd->Create())
                return FALSE;
            m_pMainWnd = pWnd;
            return TRUE;
        }
        int* m_pnDeleted = nullptr;
    } app;
    app.m_pnDeleted = &m_nDeleted;
    CMessageBoxWatcher watcher;
    EXPECT_EQ(0, AfxWinMain());
    ASSERT_EQ(1u, watcher.m_vecBoxes.size());
    EXPECT_EQ(L"cannot go on", watcher.m_vecBoxes[0].strText);
    EXPECT_EQ(1, m_nDeleted);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(WndTest, AllocationFailureInPreTranslationStillDeliversTheMessage)
{
    CWinApp app;
    auto* pWnd = new CRecordingWnd(&m_nDeleted);
    ASSERT_TRUE(pWnd->Create());
    pWnd->m_nThrowOn = WM_APP + 2;
    ::PostMessageW(pWnd->m_hWnd, WM_APP + 2, 0, 0);
    ::PostMessageW(pWnd->m_hWnd, WM_APP + 3, 0, 0);
    ::PostQuitMessage(7);
    EXPECT_EQ(7, app.Run());
    EXPECT_EQ((std::vector<UINT>{WM_APP + 2, WM_APP + 3}), pWnd->m_vecPreTranslated);
    std::vector<UINT> vecPosted;
    for (UINT message : pWnd->m_vecMessages)
        if (message >= WM_APP)
            vecPosted.push_back(message);
    EXPECT_EQ((std::vector<UINT>{WM_APP + 2, WM_APP + 3}), vecPosted) << "both reach the window";
    ::DestroyWindow(pWnd->m_hWnd);
}

namespace
{
// The child of an MDI client whose restoring makes a window of another class.
const wchar_t kMdiChildClass[] = L"PictaroFrameworkTestMdiChild";
HWND g_hIntruder = nullptr;
bool g_bMakeIntruder = false;

LRESULT CALLBACK MdiChildProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE && wParam == SIZE_RESTORED && g_bMakeIntruder)
    {
        g_bMakeIntruder = false;
        g_hIntruder = ::CreateWindowExW(0, L"Static", L"intruder", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr);
    }
    return ::DefMDIChildProcW(hWnd, message, wParam, lParam);
}
} // namespace

TEST_F(WndTest, CreationAttachesOnlyTheRequestedWindow)
{
    // A visible MDI child first restores the maximized one, inside
    // CreateWindowEx and before the new window exists: whatever that one
    // makes on the way is created first.
    WNDCLASSW wc = {};
    wc.lpfnWndProc = MdiChildProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kMdiChildClass;
    ::RegisterClassW(&wc);
    HWND hFrame = ::CreateWindowExW(0, kClass, L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                    wc.hInstance, nullptr);
    CLIENTCREATESTRUCT ccs = {nullptr, 1000};
    HWND hClient = ::CreateWindowExW(0, L"MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 300,
                                     200, hFrame, nullptr, wc.hInstance, &ccs);
    ASSERT_NE(nullptr, hClient);
    HWND hMaximized = ::CreateWindowExW(WS_EX_MDICHILD, kMdiChildClass, L"maximized", WS_MAXIMIZE, 0, 0, 100, 100,
                                        hClient, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(::IsZoomed(hMaximized));

    g_bMakeIntruder = true;
    g_hIntruder = nullptr;
    auto* pWnd = new CRecordingWnd(&m_nDeleted);
    EXPECT_TRUE(pWnd->CreateEx(WS_EX_MDICHILD, kClass, L"requested", WS_VISIBLE, 0, 0, 50, 40, hClient, nullptr));
    ASSERT_NE(nullptr, g_hIntruder) << "the arrangement no longer makes a window first";
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(g_hIntruder));
    ASSERT_NE(nullptr, pWnd->m_hWnd);
    EXPECT_NE(g_hIntruder, pWnd->m_hWnd);
    EXPECT_EQ(hClient, ::GetParent(pWnd->m_hWnd));
    const std::vector<UINT>& vecSeen = pWnd->m_vecMessages;
    EXPECT_NE(vecSeen.end(), std::find(vecSeen.begin(), vecSeen.end(), static_cast<UINT>(WM_NCCREATE)));

    ::DestroyWindow(g_hIntruder);
    ::DestroyWindow(hFrame);
    EXPECT_EQ(1, m_nDeleted);
}

// A handler whose nested loop sees its own window destroyed: the object
// outlives the handler, which may still use it, and is freed exactly once
// when the outermost handler on the stack returns; an owner freeing an
// object in use only marks it.
TEST_F(WndTest, AnObjectInUseIsFreedWhenItsLastUseEnds)
{
    // Runs fnLoop inside its handler of WM_APP + 2, then notes how many
    // objects were freed by then.
    struct CLoopingWnd : CRecordingWnd
    {
        CLoopingWnd(int* pnDeleted, std::function<void(HWND)> fnLoop, int* pnDeletedAfterLoop)
            : CRecordingWnd(pnDeleted), m_pnDeleted(pnDeleted), m_fnLoop(std::move(fnLoop)),
              m_pnDeletedAfterLoop(pnDeletedAfterLoop)
        {
        }
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message != WM_APP + 2)
                return CRecordingWnd::WindowProc(message, wParam, lParam);
            m_fnLoop(m_hWnd);
            *m_pnDeletedAfterLoop = *m_pnDeleted;
            return 0;
        }
        int* m_pnDeleted;
        std::function<void(HWND)> m_fnLoop;
        int* m_pnDeletedAfterLoop;
    };
    struct SCase
    {
        const char* pszName;
        std::function<void(HWND)> fnLoop;
    };
    const SCase cases[] = {
        {"sent close", [](HWND hWnd) { ::SendMessageW(hWnd, WM_CLOSE, 0, 0); }},
        {"destroyed", [](HWND hWnd) { ::DestroyWindow(hWnd); }},
        {"posted close dispatched by a message box",
         [](HWND hWnd) {
             ::PostMessageW(hWnd, WM_CLOSE, 0, 0);
             ::MessageBoxW(hWnd, L"the loop", L"test", MB_OK);
         }},
        {"freed by an owner", [](HWND hWnd) { CWnd::FromHandlePermanent(hWnd)->DeleteWhenUnused(); }},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CMessageBoxWatcher boxes;
        boxes.m_dwAnswerAfterMs = 200;
        int nDeleted = 0;
        int nDeletedAfterLoop = -1;
        auto* pWnd = new CLoopingWnd(&nDeleted, c.fnLoop, &nDeletedAfterLoop);
        ASSERT_TRUE(pWnd->Create());
        const HWND hWnd = pWnd->m_hWnd;
        ::SendMessageW(hWnd, WM_APP + 2, 0, 0);
        EXPECT_EQ(0, nDeletedAfterLoop) << "still there for the handler";
        EXPECT_EQ(1, nDeleted) << "freed once, as the handler returned";
        EXPECT_FALSE(::IsWindow(hWnd));
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
    }
}
