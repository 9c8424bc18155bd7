#include "viewer/TarvoMainWnd.h"

#include "draw/DibPicture.h"
#include "draw/RoMemDC.h"
#include "draw/Scale.h"
#include "framework/DC.h"
#include "framework/GdiObject.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/ReadAhead.h"
#include "viewer/Zoom.h"

namespace
{
// The largest zoomed picture made: 64 million pixels, 256 MB. A step past it
// is not taken.
const ULONGLONG kMaxZoomedBytes = 256ull << 20;

// Room for a zoomed copy in the count of picture memory, given back when it goes.
class CZoomRoom
{
public:
    explicit CZoomRoom(CReadAhead* pReadAhead) : m_pReadAhead(pReadAhead) {}
    ~CZoomRoom()
    {
        if (m_bReserved)
            m_pReadAhead->EndZoom();
    }
    CZoomRoom(const CZoomRoom&) = delete;
    CZoomRoom& operator=(const CZoomRoom&) = delete;

    bool Reserve(size_t cbZoomed)
    {
        m_bReserved = m_pReadAhead && m_pReadAhead->BeginZoom(cbZoomed);
        return m_bReserved;
    }

private:
    CReadAhead* const m_pReadAhead;
    bool m_bReserved = false;
};
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
    if (nStep == m_nZoomStep)
        return;
    // A wheel turned over another window (the strip's, say) reaches here with
    // the cursor outside: zooming about it would move the picture away.
    RECT rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);
    if (!::PtInRect(&rcWindow, ptCursor))
        ptCursor = POINT{rcWindow.left + (rcWindow.right - rcWindow.left) / 2,
                         rcWindow.top + (rcWindow.bottom - rcWindow.top) / 2};
    ShowZoomed(nStep, ptCursor);
}

BOOL CTarvoMainWnd::ShowZoomed(int nStep, POINT ptCursor)
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
    // The copy is counted with the viewer's other pictures while it lives;
    // a step whose copy would not fit beside the picture is not taken.
    CZoomRoom room(ReadAhead());
    if (nStep != CZoom::NATURAL_STEP)
    {
        if (!room.Reserve(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy) * 4))
            return FALSE;
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

    RECT rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);
    const POINT ptOrigin = CZoom::Origin(POINT{rcWindow.left, rcWindow.top}, ptCursor, m_nZoomStep, nStep);
    if (!PushLayered(dcWindow.m_hDC, dcSource.m_hDC, size, &ptOrigin))
        return FALSE;
    m_nZoomStep = nStep;
    return TRUE;
}
