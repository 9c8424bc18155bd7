#include "framework/WinApp.h"

#include "framework/Wnd.h"

#include <ole2.h>

#include <new>

namespace
{
CWinApp* g_pApp = nullptr;
bool g_bOleInitialized = false;
}

CWinApp::CWinApp() : m_pMainWnd(nullptr), m_nExitCode(0)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
    {
        if (AfxPreTranslateMessage(&msg, m_pMainWnd))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_nExitCode = static_cast<int>(msg.wParam);
    if (CWnd* pMainWnd = m_pMainWnd)
    {
        // Not the main window any more: its end posts no second quit.
        m_pMainWnd = nullptr;
        pMainWnd->DestroyWindow();
    }
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    if (g_bOleInitialized)
    {
        ::OleUninitialize();
        g_bOleInitialized = false;
    }
    return m_nExitCode;
}

void CWinApp::SetRegistryKey(LPCWSTR lpszRegistryKey)
{
    m_strRegistryKey = lpszRegistryKey;
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    return ::GetModuleHandleW(nullptr);
}

LPCWSTR AfxGetAppName()
{
    static std::wstring s_strName;
    if (s_strName.empty())
    {
        wchar_t szPath[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
        s_strName = szPath;
        const size_t nSlash = s_strName.find_last_of(L"\\/");
        if (nSlash != std::wstring::npos)
            s_strName.erase(0, nSlash + 1);
        const size_t nDot = s_strName.rfind(L'.');
        if (nDot != std::wstring::npos)
            s_strName.erase(nDot);
    }
    return s_strName.c_str();
}

int AfxMessageBox(LPCWSTR lpszText, UINT nType)
{
    CWinApp* pApp = AfxGetApp();
    HWND hOwner = pApp && pApp->m_pMainWnd ? pApp->m_pMainWnd->m_hWnd : nullptr;
    return ::MessageBoxW(hOwner, lpszText, AfxGetAppName(), nType);
}

BOOL AfxOleInit()
{
    if (g_bOleInitialized)
        return TRUE;
    g_bOleInitialized = SUCCEEDED(::OleInitialize(nullptr));
    return g_bOleInitialized;
}

namespace
{
BOOL OfferMessage(MSG* pMsg, CWnd* pMainWnd)
{
    const HWND hDesktop = ::GetDesktopWindow();
    // A filter may run a loop (a key that loads a file can show a box): the
    // windows may be destroyed meanwhile, their objects stay.
    const CWnd::CKeepAlive keepMain(pMainWnd);
    for (HWND hWnd = pMsg->hwnd; hWnd && hWnd != hDesktop; hWnd = ::GetParent(hWnd))
    {
        CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
        if (!pWnd)
            continue;
        const CWnd::CKeepAlive keep(pWnd);
        if (pWnd->PreTranslateMessage(pMsg))
            return TRUE;
        if (pWnd == pMainWnd)
            return FALSE;
    }
    return pMainWnd && pMainWnd->m_hWnd && pMainWnd->PreTranslateMessage(pMsg);
}
} // namespace

BOOL AfxPreTranslateMessage(MSG* pMsg, CWnd* pMainWnd)
{
    // A filter that runs out of memory has not taken the message: it is
    // dispatched, as a paint, a button release or a timer must still reach
    // its window, and a handler failing the same way ends just that handler.
    try
    {
        return OfferMessage(pMsg, pMainWnd);
    }
    catch (const std::bad_alloc&)
    {
        return FALSE;
    }
}

int AfxWinMain()
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return -1;
    if (!pApp->InitInstance())
        return pApp->ExitInstance();
    return pApp->Run();
}
