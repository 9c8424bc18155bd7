#include "viewer/TarvoMainWnd.h"

#include "controls/KelElement.h"
#include "draw/DibPicture.h"
#include "draw/GifFrames.h"
#include "draw/Picture.h"
#include "draw/RoMemDC.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/ReadAhead.h"

#include <windowsx.h>

namespace
{
const wchar_t kClassName[] = L"Tarvo";
const wchar_t kWindowName[] = L"Pictaro";
}

CTarvoMainWnd::CTarvoMainWnd()
    : m_hUser32(nullptr), m_blend(), m_bUpdateTimer(FALSE), m_pPicture(nullptr),
      m_pStartPicture(nullptr), m_pfnUpdateLayeredWindow(nullptr), m_nCurIndex(0),
      m_bRedrawPending(FALSE), m_bTopMost(FALSE), m_pToolWnd(nullptr),
      m_bClickTimer(FALSE), m_bDblClickArmed(FALSE), m_pElement(nullptr)
{
}

CTarvoMainWnd::~CTarvoMainWnd()
{
    // The worker goes first: it is stopped and waited for here, before GDI+
    // can be shut down.
    m_pReadAhead.reset();
    delete m_pPicture;
    delete m_pStartPicture;
    if (m_pToolWnd)
    {
        // A drop on the strip itself may still be unwinding.
        m_pToolWnd->m_pSelectCall = nullptr;
        m_pToolWnd->DeleteWhenUnused();
    }
    delete m_pElement;
}

BOOL CTarvoMainWnd::CreateViewerWindow()
{
    return CreateEx(WS_EX_APPWINDOW | WS_EX_ACCEPTFILES, nullptr, nullptr,
                    WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, ::GetDesktopWindow(),
                    nullptr);
}

BOOL CTarvoMainWnd::PreCreateWindow(CREATESTRUCTW& cs)
{
    // No CS_DBLCLKS: the viewer makes its own double click from two presses.
    // A second registration in the same process fails harmlessly.
    WNDCLASSW wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_PICTARO));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(DKGRAY_BRUSH));
    wc.lpszClassName = kClassName;
    ::RegisterClassW(&wc);

    cs.lpszClass = kClassName;
    cs.lpszName = kWindowName;
    return CWnd::PreCreateWindow(cs);
}

LRESULT CTarvoMainWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (m_pElement && m_pElement->HandleMessage(message, lParam, &lResult))
        return lResult;

    switch (message)
    {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam));
    case WM_TIMER:
        OnTimer(wParam);
        return Default();
    case WM_LBUTTONDOWN:
        OnLButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk();
        return 0;
    case WM_RBUTTONDOWN:
        OnRButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam)))
            return 0;
        return Default();
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_SHOWN_FILE_CHANGED:
        OnShownFileChanged(wParam);
        return 0;
    case WM_DEVICECHANGE:
    {
        const BOOL bGranted = m_fileWatch.OnDeviceChange(wParam, lParam);
        if (!m_fileWatch.IsWatching())
            StopWatchingFile();
        return bGranted;
    }
    case WM_SIZE:
        OnPlayShown(wParam != SIZE_MINIMIZED && ::IsWindowVisible(m_hWnd));
        return CWnd::WindowProc(message, wParam, lParam);
    case WM_SHOWWINDOW:
        OnPlayShown(wParam && !::IsIconic(m_hWnd));
        return CWnd::WindowProc(message, wParam, lParam);
    case WM_MOUSEWHEEL:
        OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

int CTarvoMainWnd::OnCreate(LPCREATESTRUCTW)
{
    const int nResult = static_cast<int>(Default());

    if (!m_pStartPicture)
        m_pStartPicture = LoadBitmapResource(IDB_START);
    const int cx = m_pStartPicture ? static_cast<int>(m_pStartPicture->GetWidth()) : 0;
    const int cy = m_pStartPicture ? static_cast<int>(m_pStartPicture->GetHeight()) : 0;
    ::SetWindowPos(m_hWnd, InsertAfter(), 0, 0, cx, cy, SWP_SHOWWINDOW);

    m_hUser32 = ::LoadLibraryW(L"User32.DLL");
    if (!m_hUser32)
    {
        AfxMessageBox(L"User32.dll ERROR!", MB_OK);
        return -1;
    }
    m_pfnUpdateLayeredWindow = reinterpret_cast<PFNUPDATELAYEREDWINDOW>(
        reinterpret_cast<void*>(::GetProcAddress(m_hUser32, "UpdateLayeredWindow")));

    m_blend.BlendOp = AC_SRC_OVER;
    m_blend.BlendFlags = 0;
    m_blend.SourceConstantAlpha = 255;
    m_blend.AlphaFormat = AC_SRC_ALPHA;

    CenterWindow();
    ShowPlaceholder(IDB_START);
    // From here until the first layered update the window shows nothing.
    ModifyStyleEx(0, WS_EX_LAYERED);
    CreateElement();
    return nResult;
}

void CTarvoMainWnd::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == TIMER_REDRAW)
        Redraw(TRUE);
    else if (nIDEvent == TIMER_CLICK)
        OnClickTimer();
    else if (nIDEvent == TIMER_RELOAD)
        OnReloadTimer();
    else if (nIDEvent == TIMER_PLAY)
        OnPlayTimer();
}

Gdiplus::Bitmap* CTarvoMainWnd::LoadBitmapResource(UINT nID)
{
    return KelDraw::NewPicture(AfxGetInstanceHandle(), MAKEINTRESOURCEW(nID));
}

BOOL CTarvoMainWnd::ShowPlaceholder(UINT nID)
{
    StopPlayback();
    delete m_pPicture;
    m_pPicture = LoadBitmapResource(nID);
    CountShown();
    m_strCurPath.clear();
    StopWatchingFile();
    if (m_pPicture && !m_bUpdateTimer)
    {
        ::SetTimer(m_hWnd, TIMER_REDRAW, REDRAW_DELAY, nullptr);
        m_bUpdateTimer = TRUE;
    }
    m_bRedrawPending = TRUE;
    if (m_pElement)
        m_pElement->m_bVisible = TRUE;
    return TRUE;
}

void CTarvoMainWnd::Redraw(BOOL bShow)
{
    if (!m_bRedrawPending || !m_pPicture)
        return;
    // One try: a picture that cannot be pushed now will not be later either.
    ::KillTimer(m_hWnd, TIMER_REDRAW);
    m_bUpdateTimer = FALSE;
    m_bRedrawPending = FALSE;
    // Every picture starts at its natural size.
    m_nZoomStep = CZoom::NATURAL_STEP;
    m_nWheelRest = 0;
    m_nStepBeforeFit = -1;
    if (!UpdateLayered())
    {
        // A file's picture that cannot be pushed is a load failure; a
        // placeholder that cannot leaves the last frame on the screen.
        if (!m_strCurPath.empty())
            ShowLoadFailure();
        return;
    }
    ::SetWindowPos(m_hWnd, InsertAfter(), 0, 0, static_cast<int>(m_pPicture->GetWidth()),
                   static_cast<int>(m_pPicture->GetHeight()), SWP_NOMOVE | SWP_NOACTIVATE);
    if (bShow)
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    OnPlayShown(!::IsIconic(m_hWnd) && ::IsWindowVisible(m_hWnd));
    PlanReadAhead();
}

BOOL CTarvoMainWnd::UpdateLayered()
{
    if (!m_pPicture || !m_pfnUpdateLayeredWindow)
        return FALSE;
    SIZE size = {static_cast<LONG>(m_pPicture->GetWidth()), static_cast<LONG>(m_pPicture->GetHeight())};
    // A picture that failed to decode is 0 x 0: there is nothing to push.
    if (size.cx <= 0 || size.cy <= 0)
        return FALSE;

    CClientDC dcWindow(m_hWnd);
    // A file's picture is already what the update takes and goes as it is;
    // the link element, which shows over placeholders only, needs a buffer.
    auto* pDib = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    if (pDib && !(m_pElement && m_pElement->m_bVisible))
    {
        CDC dcPicture;
        if (!dcPicture.CreateCompatibleDC(dcWindow.m_hDC))
            return FALSE;
        const CSelectObject select(dcPicture.m_hDC, pDib->Dib());
        return PushLayered(dcWindow.m_hDC, dcPicture.m_hDC, size);
    }

    const RECT rcBuffer = {0, 0, size.cx, size.cy};
    // The buffer carries the picture's alpha premultiplied, as the update needs.
    KelDraw::CRoMemDC dcBuffer(dcWindow.m_hDC, &rcBuffer, TRUE);
    if (!dcBuffer.m_hBitmap)
    {
        dcBuffer.Discard();
        return FALSE; // no memory for a buffer of this size
    }
    DrawPicture(&dcBuffer);
    const BOOL bPushed = PushLayered(dcWindow.m_hDC, dcBuffer.m_hDC, size);
    // The update took the pixels; nothing is copied onto a layered window's DC.
    dcBuffer.Discard();
    return bPushed;
}

BOOL CTarvoMainWnd::PushLayered(HDC hdcWindow, HDC hdcSource, SIZE size, const POINT* pptOrigin)
{
    // Every update blends at 254 rather than 255.
    m_blend.SourceConstantAlpha = 254;
    RECT rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);
    POINT ptDest = pptOrigin ? *pptOrigin : POINT{rcWindow.left, rcWindow.top};
    POINT ptSrc = {0, 0};
    const LONG lExStyle = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    if (!(lExStyle & WS_EX_LAYERED))
        ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, lExStyle | WS_EX_LAYERED);
    return m_pfnUpdateLayeredWindow(m_hWnd, hdcWindow, &ptDest, &size, hdcSource, &ptSrc, 0, &m_blend, ULW_ALPHA);
}

void CTarvoMainWnd::DrawPicture(CDC* pDC)
{
    if (!m_pPicture)
        return;
    {
        // The picture goes into a new, all-zero buffer: over transparent black,
        // copying its premultiplied pixels gives what blending them over would,
        // and costs a third of the time for a large picture.
        Gdiplus::Graphics graphics(pDC->m_hDC);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        graphics.DrawImage(m_pPicture, 0, 0, static_cast<INT>(m_pPicture->GetWidth()),
                           static_cast<INT>(m_pPicture->GetHeight()));
    }
    if (m_pElement)
        m_pElement->Draw(pDC);
}

void CTarvoMainWnd::PostNcDestroy()
{
    // The strip goes with the viewer's window: a drop being added to it sees
    // its window gone and ends.
    if (m_pToolWnd)
        m_pToolWnd->DestroyWindow();
    StopPlayback();
    // Also reached when the window was never made or its creation failed.
    if (m_hUser32)
        ::FreeLibrary(m_hUser32);
    m_hUser32 = nullptr;
    DeleteWhenUnused();
}

HWND CTarvoMainWnd::InsertAfter() const
{
    return m_bTopMost ? HWND_TOPMOST : HWND_NOTOPMOST;
}
