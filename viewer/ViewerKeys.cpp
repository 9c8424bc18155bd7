#include "viewer/TarvoMainWnd.h"

#include "draw/DibPicture.h"
#include "viewer/Zoom.h"

#include <algorithm>
#include <cmath>

BOOL CTarvoMainWnd::OnViewKey(UINT nVirtKey, BOOL bRepeat)
{
    switch (nVirtKey)
    {
    case VK_ADD:
    case VK_OEM_PLUS:
    case VK_SUBTRACT:
    case VK_OEM_MINUS:
    {
        // A step as the wheel's notch takes, about the window's centre.
        if (!CanZoom())
            return TRUE;
        const int nNotches = (nVirtKey == VK_ADD || nVirtKey == VK_OEM_PLUS) ? 1 : -1;
        const int nStep = CZoom::StepBy(m_nZoomStep, nNotches);
        if (nStep != m_nZoomStep)
            ZoomAboutCentre(nStep);
        return TRUE;
    }
    case '0':
    case VK_NUMPAD0:
        if (CanZoom() && m_nZoomStep != CZoom::NATURAL_STEP)
            ZoomAboutCentre(CZoom::NATURAL_STEP);
        return TRUE;
    // A held F or Ctrl+C acts once: F would flip on every repeat.
    case 'F':
        if (!bRepeat)
            ToggleFit();
        return TRUE;
    case 'C':
        if (::GetKeyState(VK_CONTROL) >= 0)
            return FALSE;
        if (!bRepeat)
            CopyPicture();
        return TRUE;
    default:
        return FALSE;
    }
}

void CTarvoMainWnd::ToggleFit()
{
    if (!CanZoom())
        return;
    if (m_nStepBeforeFit >= 0 && m_nZoomStep == m_nFitStep)
    {
        const int nStep = m_nStepBeforeFit;
        m_nStepBeforeFit = -1;
        ZoomAboutCentre(nStep);
        return;
    }

    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi))
        return;
    const RECT& rcWork = mi.rcWork;
    const SIZE natural = {static_cast<LONG>(m_pPicture->GetWidth()), static_cast<LONG>(m_pPicture->GetHeight())};
    // The largest step that fits; a picture too large even for the smallest
    // gets the smallest.
    int nStep = CZoom::STEP_COUNT - 1;
    SIZE size = CZoom::Size(natural, nStep);
    while (nStep > 0 && (size.cx > rcWork.right - rcWork.left || size.cy > rcWork.bottom - rcWork.top))
        size = CZoom::Size(natural, --nStep);

    // About the window's centre, then moved as little as it takes to lie
    // inside the work area.
    POINT ptOrigin = CentredOrigin(nStep, WindowCentre2());
    ptOrigin.x = std::max(rcWork.left, std::min(ptOrigin.x, rcWork.right - size.cx));
    ptOrigin.y = std::max(rcWork.top, std::min(ptOrigin.y, rcWork.bottom - size.cy));
    const int nFromStep = m_nZoomStep;
    if (ShowZoomedAt(nStep, ptOrigin))
    {
        m_nStepBeforeFit = nFromStep;
        m_nFitStep = nStep;
    }
}

bool CTarvoMainWnd::CanZoom() const
{
    return !m_strCurPath.empty() && !m_bRedrawPending && dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
}

BOOL CTarvoMainWnd::ZoomAboutCentre(int nStep)
{
    // The centre the last of these zooms kept, as long as the window is where
    // it left it: each step's half pixel then does not add up over steps.
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    const POINT ptCentre2 = ::EqualRect(&rc, &m_rcCentreZoom) ? m_ptCentreZoom2 : WindowCentre2();
    if (!ShowZoomedAt(nStep, CentredOrigin(nStep, ptCentre2)))
        return FALSE;
    ::GetWindowRect(m_hWnd, &m_rcCentreZoom);
    m_ptCentreZoom2 = ptCentre2;
    return TRUE;
}

POINT CTarvoMainWnd::WindowCentre2() const
{
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    return POINT{rc.left + rc.right, rc.top + rc.bottom};
}

POINT CTarvoMainWnd::CentredOrigin(int nStep, POINT ptCentre2) const
{
    const SIZE natural = {static_cast<LONG>(m_pPicture->GetWidth()), static_cast<LONG>(m_pPicture->GetHeight())};
    const SIZE size = CZoom::Size(natural, nStep);
    return POINT{static_cast<LONG>(std::lround((ptCentre2.x - size.cx) / 2.0)),
                 static_cast<LONG>(std::lround((ptCentre2.y - size.cy) / 2.0))};
}
