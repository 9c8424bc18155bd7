#include "framework/Wnd.h"

#include "framework/WinApp.h"

#include <map>
#include <new>

namespace
{
// A creation under way: the object waiting for its window, the class that
// window is of, and the window once the object is attached to it.
struct SCreateInit
{
    CWnd* pWnd;
    ATOM atomClass;
    HWND hWnd;
};

// One user-interface thread: plain process-wide state is enough.
std::map<HWND, CWnd*> g_mapHandles;
SCreateInit* g_pCreateInit = nullptr;
MSG g_msgCur = {};

// The atom of the class CreateWindowEx finds for these arguments, or 0.
ATOM ClassAtom(HINSTANCE hInstance, LPCWSTR lpszClass)
{
    if (IS_INTRESOURCE(lpszClass))
        return static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(lpszClass));
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    return static_cast<ATOM>(::GetClassInfoExW(hInstance, lpszClass, &wc));
}
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
    {
        PostNcDestroy();
        return FALSE;
    }

    // The hook attaches this object to the window of the requested class
    // created from here on, before that window sees any message.
    SCreateInit init = {this, ClassAtom(cs.hInstance, cs.lpszClass), nullptr};
    HHOOK hHook =
        init.atomClass ? ::SetWindowsHookExW(WH_CBT, CbtHook, nullptr, ::GetCurrentThreadId()) : nullptr;
    HWND hWnd = nullptr;
    if (hHook)
    {
        SCreateInit* pWaiting = g_pCreateInit;
        g_pCreateInit = &init;
        hWnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                                 cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
        ::UnhookWindowsHookEx(hHook);
        g_pCreateInit = pWaiting;
    }
    if (hWnd && init.hWnd == hWnd)
        return TRUE;
    // A window the hook never saw is not this object's.
    if (hWnd)
        ::DestroyWindow(hWnd);
    // A window that was attached and destroyed again went through
    // WM_NCDESTROY, which may have deleted this object: only while the dead
    // handle still maps to it is it still here to clean up.
    if (!init.hWnd || FromHandlePermanent(init.hWnd) == this)
    {
        Detach();
        PostNcDestroy();
    }
    return FALSE;
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

CWnd::CKeepAlive::CKeepAlive(CWnd* pWnd) : m_pWnd(pWnd)
{
    if (m_pWnd)
        ++m_pWnd->m_nUses;
}

CWnd::CKeepAlive::~CKeepAlive()
{
    if (m_pWnd)
        m_pWnd->EndUse();
}

void CWnd::DeleteWhenUnused()
{
    if (m_nUses > 0)
        m_bDeletePending = true;
    else
        delete this;
}

void CWnd::EndUse()
{
    // Cleared first: the destructor destroys a window still there, and that
    // dispatch uses and ends its use of the object once more.
    if (--m_nUses == 0 && m_bDeletePending)
    {
        m_bDeletePending = false;
        delete this;
    }
}

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
    // First, as it alone can fail.
    g_mapHandles[hWnd] = this;
    m_hWnd = hWnd;
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
    {
        // A handler's object outlives the handler, whatever it destroys.
        const CKeepAlive keep(pWnd);
        // Exceptions cannot unwind through the platform's dispatch; an
        // allocation failure deep in a handler ends that handler, not the process.
        try
        {
            lResult = pWnd->WindowProc(message, wParam, lParam);
        }
        catch (const std::bad_alloc&)
        {
            lResult = 0;
        }
    }
    g_msgCur = msgPrev;
    return lResult;
}

LRESULT CALLBACK CWnd::CbtHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    SCreateInit* pInit = g_pCreateInit;
    const HWND hWnd = reinterpret_cast<HWND>(wParam);
    // Windows the system makes on the way (an input method's, one a restored
    // MDI child makes) are of other classes and not ours.
    if (nCode == HCBT_CREATEWND && pInit && ::GetClassWord(hWnd, GCW_ATOM) == pInit->atomClass)
    {
        g_pCreateInit = nullptr;
        // No exception may unwind through CreateWindowEx: without memory to
        // record the window, it is not made.
        try
        {
            pInit->pWnd->Attach(hWnd);
        }
        catch (const std::bad_alloc&)
        {
            return 1;
        }
        pInit->hWnd = hWnd;
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
