#include "controls/KelElement.h"

#include "draw/Decode.h"
#include "framework/DC.h"
#include "viewer/TarvoMainWnd.h"

#include <gdiplus.h>
#include <shellapi.h>
#include <windowsx.h>

namespace
{
const wchar_t kFeedbackUrl[] = L"https://pictaro.app/feedback";
}

BOOL CKelElement::s_bTracking = FALSE;

CKelElement::CKelElement()
    : m_pImages(), m_pOwner(nullptr), m_rcBounds(), m_nState(STATE_NORMAL), m_nID(0), m_bVisible(FALSE)
{
}

CKelElement::~CKelElement()
{
    for (Gdiplus::Bitmap* pImage : m_pImages)
        delete pImage;
}

void CKelElement::LoadStateImage(WORD nID, int nSlot)
{
    delete m_pImages[nSlot];
    m_pImages[nSlot] = KelDraw::LoadPngResource(nID);
}

void CKelElement::Draw(CDC* pDC)
{
    if (!m_bVisible)
        return;
    Gdiplus::Bitmap* pImage = m_pImages[m_nState];
    if (!pImage)
        return;
    Gdiplus::Graphics graphics(pDC->m_hDC);
    graphics.DrawImage(pImage, static_cast<INT>(m_rcBounds.left), static_cast<INT>(m_rcBounds.top),
                       static_cast<INT>(m_rcBounds.right - m_rcBounds.left),
                       static_cast<INT>(m_rcBounds.bottom - m_rcBounds.top));
}

bool CKelElement::HandleMessage(UINT message, LPARAM lParam, LRESULT* pResult)
{
    // Forget the tracking request on every leave, even while hidden: a flag
    // left set would keep the next mouse move from asking again.
    if (message == WM_MOUSELEAVE)
        s_bTracking = FALSE;
    if (!m_bVisible)
        return false;

    switch (message)
    {
    case WM_SETCURSOR:
    {
        POINT pt;
        ::GetCursorPos(&pt);
        ::ScreenToClient(m_pOwner->m_hWnd, &pt);
        if (!::PtInRect(&m_rcBounds, pt))
            return false;
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        *pResult = 0;
        return true;
    }
    case WM_MOUSEMOVE:
    {
        const int nOldState = m_nState;
        if (Contains(lParam))
        {
            m_nState = STATE_HOVER;
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        }
        else
        {
            ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            m_nState = STATE_NORMAL;
        }
        if (m_nState != nOldState)
            RequestRedraw(TRUE);
        if (!s_bTracking)
            s_bTracking = StartMouseTracking(m_pOwner->m_hWnd);
        return false;
    }
    case WM_LBUTTONDOWN:
        if (!Contains(lParam))
            return false;
        m_nState = STATE_PRESSED;
        *pResult = 1;
        ::SetCapture(m_pOwner->m_hWnd);
        return true;
    case WM_LBUTTONUP:
    {
        if (::GetCapture())
            ::ReleaseCapture();
        const int nOldState = m_nState;
        if (Contains(lParam))
        {
            ::ShellExecuteW(nullptr, L"open", kFeedbackUrl, nullptr, nullptr, SW_SHOW);
            m_nState = STATE_HOVER;
        }
        else
        {
            m_nState = STATE_NORMAL;
        }
        if (m_nState != nOldState)
            RequestRedraw(TRUE);
        return false;
    }
    case WM_MOUSELEAVE:
        m_nState = STATE_NORMAL;
        RequestRedraw(FALSE);
        return false;
    default:
        return false;
    }
}

BOOL CKelElement::StartMouseTracking(HWND hWnd)
{
    TRACKMOUSEEVENT tme = {sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, hWnd, 1};
    return ::TrackMouseEvent(&tme);
}

bool CKelElement::Contains(LPARAM lParam) const
{
    const POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return ::PtInRect(&m_rcBounds, pt) != FALSE;
}

void CKelElement::RequestRedraw(BOOL bShow)
{
    m_pOwner->m_bRedrawPending = TRUE;
    m_pOwner->Redraw(bShow);
}
