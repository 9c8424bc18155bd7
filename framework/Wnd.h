#pragma once

#include <windows.h>

// A window object bound to one HWND. Creation is two-phase: construct the
// object, then CreateEx. The object is attached while the window is still
// being created, so WM_NCCREATE and WM_CREATE already reach WindowProc.
//
// Lifetime. Each window object has one owner: itself when it deletes itself
// after WM_NCDESTROY, or the one object that made it. A nested message loop
// (a drop being added, a message box, a menu, DragDetect, a drag) dispatches
// messages that may destroy any window, so a window can be destroyed while a
// handler of its object, or a loop run on it, is still on the stack. Hence:
// - an object is freed only through DeleteWhenUnused, never by a plain delete
//   while it may be in use: it is only marked then, and freed when the
//   outermost of its handlers on the stack, or the last CKeepAlive on it, ends;
// - code that runs a loop on an object outside that object's own handlers
//   holds a CKeepAlive on it;
// - after any call that can dispatch messages, code checks m_hWnd before it
//   touches the window or goes on with work for it: an object whose window is
//   gone ends what it was doing;
// - a pointer to a stack object is published only for that frame's life, and
//   the frame puts back what was there before on every way out.
// Worker threads likewise have one owner, which stops and joins them when it
// is freed; see CWinApp::Run for the order at the end of the application.
class CWnd
{
public:
    // Keeps an object allocated while a loop runs on it; a null one is none.
    class CKeepAlive
    {
    public:
        explicit CKeepAlive(CWnd* pWnd);
        ~CKeepAlive();
        CKeepAlive(const CKeepAlive&) = delete;
        CKeepAlive& operator=(const CKeepAlive&) = delete;

    private:
        CWnd* m_pWnd;
    };

    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // TRUE with the object attached to the new window. On failure
    // PostNcDestroy has run (through WM_NCDESTROY when a window was made), so
    // a self-deleting object is gone.
    BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName,
                  DWORD dwStyle, int x, int y, int nWidth, int nHeight,
                  HWND hWndParent, HMENU hMenu, LPVOID lpParam = nullptr);
    BOOL DestroyWindow();

    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the default processing first, detaches the window, posts the quit
    // message when this is the application's main window, then PostNcDestroy.
    virtual void OnNcDestroy();
    virtual void PostNcDestroy();
    // Frees the object now when nothing is using it, else when the last use
    // ends. Its window, if it still has one, is destroyed as it is freed.
    void DeleteWhenUnused();

    // The message now being dispatched to this window, to the default procedure.
    LRESULT Default();
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    static CWnd* FromHandlePermanent(HWND hWnd);
    // The message the framework is dispatching right now (zeroed outside dispatch).
    static const MSG* GetCurrentMessage();

    // Centres the window on the work area of the primary monitor.
    void CenterWindow();
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK);

    HWND m_hWnd;

protected:
    WNDPROC m_pfnSuper;

private:
    int m_nUses = 0;               // handlers on the stack and CKeepAlive guards
    bool m_bDeletePending = false; // DeleteWhenUnused came while in use

    void EndUse();
    void Attach(HWND hWnd);
    void Detach();
    static LRESULT CALLBACK WndProcThunk(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CbtHook(int nCode, WPARAM wParam, LPARAM lParam);
};
