#include "framework/Wnd.h"

#include "framework/WinApp.h"

#include <map>
#include <new>

namespace
{
// One user-interface thread: plain process-wide state is enough.
std::map<HWND, CWnd*> g_mapHandles;
CWnd* g_pWndInit = nullptr;
MSG g_msgCur = {};
}

CWnd::CWnd() : m_hWnd(nullptr), m_pfnSuper(nullptr) {}

CWnd::~CWnd()
{
    // Destroying a live window from here reaches only CWnd's own handlers:
    // the derived parts are already gone.
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName,
                    DWORD dwStyle, int x, int y, int nWidth, int nHeight,
                    HWND hWndParent, HMENU hMenu, LPVOID lpParam)
{
    CREATESTRUCTW cs = {};
    cs.dwExStyle = dwExStyle;
    cs.lpszClass = lpszClassName;
    cs.lpszName = lpszWindowName;
    cs.style = static_cast<LONG>(dwStyle);
    cs.x = x;
    cs.y = y;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.hwndParent = hWndParent;
    cs.hMenu = hMenu;
    cs.hInstance = AfxGetInstanceHandle();
    cs.lpCreateParams = lpParam;
    if (!PreCreateWindow(cs))
        return FALSE;

    // The hook attaches this object to the first window created from here on,
    // before that window sees any message.
    g_pWndInit = this;
    HHOOK hHook = ::SetWindowsHookExW(WH_CBT, CbtHook, nullptr, ::GetCurrentThreadId());
    HWND hWnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName,
                                  static_cast<DWORD>(cs.style), cs.x, cs.y, cs.cx, cs.cy,
                                  cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    ::UnhookWindowsHookEx(hHook);
    g_pWndInit = nullptr;
    // Creation cancelled after the object was attached: forget the dead handle.
    if (!hWnd)
        Detach();
    return hWnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTW&)
{
    return TRUE;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCDESTROY)
    {
        OnNcDestroy();
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

void CWnd::OnNcDestroy()
{
    Default();
    Detach();
    CWinApp* pApp = AfxGetApp();
    if (pApp && pApp->m_pMainWnd == this)
    {
        pApp->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    PostNcDestroy();
}

void CWnd::PostNcDestroy() {}

LRESULT CWnd::Default()
{
    return DefWindowProc(g_msgCur.message, g_msgCur.wParam, g_msgCur.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hWnd = m_hWnd ? m_hWnd : g_msgCur.hwnd;
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, hWnd, message, wParam, lParam);
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    auto it = g_mapHandles.find(hWnd);
    return it == g_mapHandles.end() ? nullptr : it->second;
}

const MSG* CWnd::GetCurrentMessage()
{
    return &g_msgCur;
}

void CWnd::CenterWindow()
{
    RECT rcWork;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    const int cx = rc.right - rc.left;
    const int cy = rc.bottom - rc.top;
    const int x = rcWork.left + (rcWork.right - rcWork.left - cx) / 2;
    const int y = rcWork.top + (rcWork.bottom - rcWork.top - cy) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    const DWORD dwStyle = static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE));
    const DWORD dwNewStyle = (dwStyle & ~dwRemove) | dwAdd;
    if (dwStyle == dwNewStyle)
        return FALSE;
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(dwNewStyle));
    if (nFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

int CWnd::MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nType)
{
    return ::MessageBoxW(m_hWnd, lpszText, lpszCaption ? lpszCaption : AfxGetAppName(), nType);
}

void CWnd::Attach(HWND hWnd)
{
    m_hWnd = hWnd;
    g_mapHandles[hWnd] = this;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WndProcThunk)));
}

void CWnd::Detach()
{
    if (!m_hWnd)
        return;
    if (m_pfnSuper)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    g_mapHandles.erase(m_hWnd);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
}

LRESULT CALLBACK CWnd::WndProcThunk(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcW(hWnd, message, wParam, lParam);

    const MSG msgPrev = g_msgCur;
    g_msgCur = MSG{hWnd, message, wParam, lParam, 0, {0, 0}};
    LRESULT lResult = 0;
    // Exceptions cannot unwind through the platform's dispatch; an allocation
    // failure deep in a handler ends that handler, not the process.
    try
    {
        lResult = pWnd->WindowProc(message, wParam, lParam);
    }
    catch (const std::bad_alloc&)
    {
        lResult = 0;
    }
    g_msgCur = msgPrev;
    return lResult;
}

LRESULT CALLBACK CWnd::CbtHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HCBT_CREATEWND && g_pWndInit)
    {
        CWnd* pWnd = g_pWndInit;
        g_pWndInit = nullptr;
        pWnd->Attach(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
