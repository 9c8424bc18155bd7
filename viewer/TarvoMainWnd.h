#pragma once

#include "draw/FileStamp.h"
#include "framework/Wnd.h"
#include "viewer/ElemSelectCall.h"
#include "viewer/FileWatch.h"
#include "viewer/Zoom.h"

#include <memory>
#include <string>
#include <vector>

namespace Gdiplus
{
class Bitmap;
}
class CDC;
class CKelElement;
class CReadAhead;
class CTarvoToolWnd;
namespace KelDraw
{
class CDibPicture;
class CGifFrames;
}

// The main window: one picture at its natural size as a borderless layered
// window, updated only through UpdateLayeredWindow. Owns itself: it is freed
// (see CWnd's lifetime rule) once its window is destroyed and none of its
// handlers is still on the stack. It owns the strip, whose window goes with
// its own, and the workers of the read-ahead and the folder watch, which its
// destructor stops and joins in that order.
class CTarvoMainWnd : public CWnd, public IElemSelectCall
{
public:
    typedef BOOL(WINAPI* PFNUPDATELAYEREDWINDOW)(HWND, HDC, POINT*, SIZE*, HDC, POINT*,
                                                  COLORREF, BLENDFUNCTION*, DWORD);

    enum
    {
        TIMER_REDRAW = 2000,
        REDRAW_DELAY = 10,
        TIMER_CLICK = 2001,
        CLICK_WINDOW = 200, // a second press within it makes a double click
        TIMER_RELOAD = 2002,
        RELOAD_DELAY = 300,      // after the last change to the shown file
        RELOAD_MAX_DELAY = 1000, // after the first change not yet shown
        RELOAD_QUIET = 2000,     // a file that failed to reload and stayed so is told of
        TIMER_PLAY = 2003,       // the next frame of a GIF that plays
        WM_SHOWN_FILE_CHANGED = WM_APP + 1,
    };

    // Commands of the context menu, and the link element's id.
    enum
    {
        ID_ELEMENT = 10000,
        ID_TOPMOST = 10001,
        ID_CLOSE = 10002,
    };

    CTarvoMainWnd();
    ~CTarvoMainWnd() override;

    // Creates the window the way the application does: a popup of the desktop
    // with its own taskbar button that accepts dropped files.
    BOOL CreateViewerWindow();

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    // Left, Right, Home, End, Delete and F5 act on the strip, Esc closes, Tab
    // shows or hides the strip, +, -, 0 and F zoom, Ctrl+C copies; also while
    // the strip has the focus. The wheel goes to the window under the cursor.
    // Nothing is consumed.
    BOOL PreTranslateMessage(MSG* pMsg) override;
    // Every message is offered to the link element first.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

    Gdiplus::Bitmap* LoadBitmapResource(UINT nID);
    BOOL ShowPlaceholder(UINT nID);
    void Redraw(BOOL bShow);
    BOOL UpdateLayered();
    void DrawPicture(CDC* pDC);
    // Creates the strip on first use, then shows or hides it.
    void ShowToolWnd(BOOL bShow);
    // The strip's choice: shows the entry's file, or the start-up placeholder
    // for a null path. A plain choice of the file already shown does nothing.
    BOOL OnElemSelect(int nIndex, const wchar_t* pszName, const wchar_t* pszPath, BOOL bReload) override;
    // FALSE when the file could not be shown; the user has been told then.
    BOOL LoadPicture(const wchar_t* pszPath, BOOL bSkipIfSame);

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
    BOOL m_bClickTimer;
    BOOL m_bDblClickArmed;
    CKelElement* m_pElement; // owned
    // The zoom of the shown file's picture (natural size at CZoom's
    // NATURAL_STEP), and wheel turns short of a notch.
    int m_nZoomStep = CZoom::NATURAL_STEP;
    int m_nWheelRest = 0;
    // Shows the file's picture at the step, keeping the picture point under
    // ptCursor where it is. FALSE, changing nothing, when it cannot.
    BOOL ShowZoomed(int nStep, POINT ptCursor);
    // The same with the window's top-left corner at ptOrigin.
    BOOL ShowZoomedAt(int nStep, POINT ptOrigin);
    // The step F left when it fitted the picture into the work area, and the
    // step it fitted at; -1 when F has not fitted the picture shown.
    int m_nStepBeforeFit = -1;
    int m_nFitStep = -1;
    // The keys that zoom (+, -, 0, F) and copy (Ctrl+C); FALSE for any other.
    // bRepeat: the key is held and this is its repeat.
    BOOL OnViewKey(UINT nVirtKey, BOOL bRepeat = FALSE);
    // Fits the picture into its monitor's work area at the largest step that
    // fits, or after a fit returns to the step before it.
    void ToggleFit();
    // Puts the file's picture on the clipboard: its pixels at natural size
    // (CF_DIBV5 and PNG) and the file itself (CF_HDROP). FALSE, leaving the
    // clipboard alone, for a placeholder or when nothing could be put there.
    BOOL CopyPicture();

    // The files of a command line (after the program's own name), as full
    // paths in their order.
    static std::vector<std::wstring> FilesFromCommandLine(const wchar_t* pszCommandLine);
    // Hands the files to the viewer as a drop of them would: posted, taken in
    // the message loop. FALSE when there are none or it could not be posted.
    BOOL OpenFiles(const std::vector<std::wstring>& vecPaths);
    // Watches the shown file's folder while a file is shown.
    CFileWatch m_fileWatch;
    // The shown file was rewritten: it is read again once its writes have
    // stopped (RELOAD_DELAY after the last), however busy the rest of the
    // folder is, and never later than RELOAD_MAX_DELAY after the first. A
    // file gone or renamed away is left alone. Unlike a load the user asks
    // for, a reload that fails keeps the picture shown and the watch, and
    // tries again at the next change; only a file that stays undecodable and
    // unchanged for RELOAD_QUIET is told of, as a failed load.
    void OnShownFileChanged(WPARAM nWhat);
    void OnReloadTimer();
    void StopWatchingFile();
    KelDraw::SFileStamp m_stampSeen; // the shown file's, when last looked at
    BOOL m_bReloadDue = FALSE;
    DWORD m_dwFirstChange = 0;
    DWORD m_dwLastChange = 0;
    BOOL m_bReloadFailed = FALSE;
    KelDraw::SFileStamp m_stampFailed; // the file as the failed reload read it
    // The neighbours of the shown entry, decoded ahead, and the count of all
    // picture memory; made on first need. A test may put in its own, with
    // another budget, before the first load.
    std::unique_ptr<CReadAhead> m_pReadAhead;
    CReadAhead* ReadAhead();
    // A GIF of several frames plays them in the shown picture while the
    // viewer is seen, from the first frame each time it is shown, at the
    // zoom and place the user gives the window.
    std::unique_ptr<KelDraw::CGifFrames> m_pFrames;
    BOOL m_bPlayPaused = FALSE; // hidden, minimised, or not yet on the screen
    // Whether a GIF's frames are being played now.
    BOOL IsPlaying() const;

private:
    int OnCreate(LPCREATESTRUCTW lpCreateStruct);
    void OnTimer(UINT_PTR nIDEvent);
    void CreateElement();
    BOOL ShowLoadFailure();
    // The picture shown goes; a file's picture is kept for a step back.
    void DropPicture();
    // Tells the count what the shown picture takes.
    void CountShown();
    void ArmReload();
    // Reads the shown file again; bQuietOver: the wait after a failed
    // reload has passed with the file unchanged.
    void ReloadShownFile(BOOL bQuietOver);
    // Asks for the strip's entries beside the selected one to be read ahead.
    void PlanReadAhead();
    // The files PlanReadAhead asks for; may throw std::bad_alloc.
    std::vector<std::wstring> WantedAhead() const;
    // The file's picture shown, taken out of the viewer when the read-ahead
    // will not want it once the selected entry shows; else null.
    KelDraw::CDibPicture* TakeUnwantedPicture();
    // At the window's place, or at *pptOrigin when given.
    BOOL PushLayered(HDC hdcWindow, HDC hdcSource, SIZE size, const POINT* pptOrigin = nullptr);
    // Zooms a file's picture by the wheel's notches about the cursor, or
    // about the window's centre when the cursor is elsewhere.
    void OnMouseWheel(int nDelta, POINT ptCursor);
    // A file's picture shown and pushed: the placeholders keep their size.
    bool CanZoom() const;
    // Zooms to the step keeping the window's centre where it is.
    BOOL ZoomAboutCentre(int nStep);
    // The window's centre on the screen, in half pixels.
    POINT WindowCentre2() const;
    // Where the window's corner goes for the picture at the step to have its
    // centre at ptCentre2 (in half pixels).
    POINT CentredOrigin(int nStep, POINT ptCentre2) const;
    RECT m_rcCentreZoom = {}; // the window as the last zoom about its centre left it
    POINT m_ptCentreZoom2 = {}; // and the centre it kept, in half pixels
    void OnLButtonDown(POINT point);
    void MoveWithMouse(POINT ptPress);
    void OnClickTimer();
    void OnLButtonDblClk();
    void OnRButtonDown(POINT point);
    BOOL OnCommand(UINT nID);
    void OnDropFiles(HDROP hDropInfo);
    bool HasStripWindow() const;
    int CurIndex() const; // the entry Left, Right, Delete and F5 start from
    HWND InsertAfter() const;
    // Makes ready to play the shown file's frames, with the first in the
    // picture; playing starts once the picture is seen.
    void PreparePlayback();
    void StopPlayback();
    // Plays on while the viewer is seen, and waits while it is not.
    void OnPlayShown(BOOL bShown);
    void OnPlayTimer();
};
