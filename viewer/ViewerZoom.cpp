#include "viewer/TarvoMainWnd.h"

#include "draw/DibPicture.h"
#include "draw/RoMemDC.h"
#include "draw/Scale.h"
#include "framework/DC.h"
#include "framework/GdiObject.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/Zoom.h"

namespace
{
// The largest zoomed picture made: 64 million pixels, 256 MB. A step past it
// is not taken.
const ULONGLONG kMaxZoomedBytes = 256ull << 20;
} // namespace

void CTarvoMainWnd::OnMouseWheel(int nDelta, POINT ptCursor)
{
    // Only a file's picture zooms; the placeholders and their link keep
    // their size, and a picture still to be pushed has nothing to zoom yet.
    if (m_strCurPath.empty() || m_bRedrawPending || !dynamic_cast<KelDraw::CDibPicture*>(m_pPicture))
        return;
    // A fine wheel's smaller turns add up to notches.
    m_nWheelRest += nDelta;
    const int nNotches = m_nWheelRest / WHEEL_DELTA;
    m_nWheelRest -= nNotches * WHEEL_DELTA;
    const int nStep = CZoom::StepBy(m_nZoomStep, nNotches);
    if (nStep != m_nZoomStep)
        ShowZoomed(nStep, ptCursor);
}

BOOL CTarvoMainWnd::ShowZoomed(int nStep, POINT ptCursor)
{
    RECT rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);
    return ShowZoomedAt(nStep, CZoom::Origin(POINT{rcWindow.left, rcWindow.top}, ptCursor, m_nZoomStep, nStep));
}

BOOL CTarvoMainWnd::ShowZoomedAt(int nStep, POINT ptOrigin)
{
    auto* pPicture = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    if (!pPicture || !m_pfnUpdateLayeredWindow)
        return FALSE;
    const SIZE natural = {static_cast<LONG>(pPicture->GetWidth()), static_cast<LONG>(pPicture->GetHeight())};
    const SIZE size = CZoom::Size(natural, nStep);
    if (static_cast<ULONGLONG>(size.cx) * static_cast<ULONGLONG>(size.cy) * 4 > kMaxZoomedBytes)
        return FALSE;

    CClientDC dcWindow(m_hWnd);
    CDC dcSource;
    if (!dcSource.CreateCompatibleDC(dcWindow.m_hDC))
        return FALSE;
    // At natural size the picture goes as it is; at any other, a copy of the
    // zoomed size, top-down like the picture.
    CBitmap bmpZoomed;
    HBITMAP hSource = pPicture->Dib();
    if (nStep != CZoom::NATURAL_STEP)
    {
        void* pBits = nullptr;
        if (!bmpZoomed.Attach(KelDraw::CreateTopDownDib(size.cx, size.cy, &pBits)))
            return FALSE;
        const KelDraw::SPixelRows source = {static_cast<BYTE*>(pPicture->Bits()), natural.cx, natural.cy,
                                            static_cast<LONG_PTR>(natural.cx) * 4};
        const KelDraw::SPixelRows target = {static_cast<BYTE*>(pBits), size.cx, size.cy,
                                            static_cast<LONG_PTR>(size.cx) * 4};
        if (!KelDraw::ScalePixels(source, target))
            return FALSE;
        hSource = bmpZoomed.GetSafeHandle();
    }
    const CSelectObject select(dcSource.m_hDC, hSource);

    if (!PushLayered(dcWindow.m_hDC, dcSource.m_hDC, size, &ptOrigin))
        return FALSE;
    m_nZoomStep = nStep;
    return TRUE;
}
