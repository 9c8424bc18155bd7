#pragma once

#include <windows.h>

// A window object bound to one HWND. Creation is two-phase: construct the
// object, then CreateEx. The object is attached while the window is still
// being created, so WM_NCCREATE and WM_CREATE already reach WindowProc.
class CWnd
{
public:
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
    void Attach(HWND hWnd);
    void Detach();
    static LRESULT CALLBACK WndProcThunk(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CbtHook(int nCode, WPARAM wParam, LPARAM lParam);
};
