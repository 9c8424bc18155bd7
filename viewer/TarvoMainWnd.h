#pragma once

#include "framework/Wnd.h"

#include <string>

namespace Gdiplus
{
class Bitmap;
}
class CDC;
class CTarvoToolWnd;

// The main window: one picture at its natural size as a borderless layered
// window, updated only through UpdateLayeredWindow. Deletes itself when its
// window is destroyed.
class CTarvoMainWnd : public CWnd
{
public:
    typedef BOOL(WINAPI* PFNUPDATELAYEREDWINDOW)(HWND, HDC, POINT*, SIZE*, HDC, POINT*,
                                                  COLORREF, BLENDFUNCTION*, DWORD);

    enum
    {
        TIMER_REDRAW = 2000,
        REDRAW_DELAY = 10,
    };

    CTarvoMainWnd();
    ~CTarvoMainWnd() override;

    // Creates the window the way the application does: a popup of the desktop
    // with its own taskbar button that accepts dropped files.
    BOOL CreateViewerWindow();

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnNcDestroy() override;

    Gdiplus::Bitmap* LoadBitmapResource(UINT nID);
    BOOL ShowPlaceholder(UINT nID);
    void Redraw(BOOL bShow);
    BOOL UpdateLayered();
    void DrawPicture(CDC* pDC);
    // Creates the strip on first use, then shows or hides it.
    void ShowToolWnd(BOOL bShow);

    HMODULE m_hUser32;
    BLENDFUNCTION m_blend;
    BOOL m_bUpdateTimer;
    Gdiplus::Bitmap* m_pPicture;
    Gdiplus::Bitmap* m_pStartPicture;
    PFNUPDATELAYEREDWINDOW m_pfnUpdateLayeredWindow;
    int m_nCurIndex;
    BOOL m_bRedrawPending;
    std::wstring m_strCurPath;
    BOOL m_bTopMost;
    CTarvoToolWnd* m_pToolWnd; // owned; made on first need

private:
    int OnCreate(LPCREATESTRUCTW lpCreateStruct);
    void OnTimer(UINT_PTR nIDEvent);
    HWND InsertAfter() const;
};
