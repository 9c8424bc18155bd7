#include "strip/TarvoToolWnd.h"

#include "draw/RoMemDC.h"
#include "framework/Image.h"

#include <gdiplus.h>

#include <algorithm>
#include <memory>

namespace
{
// The frame is 8 pixels wider than the box at each side and 9 higher at top
// and bottom; the marker sits 16 pixels left of the box, in the gap.
const int kFrameSide = 8;
const int kFrameTopBottom = 9;
const int kMarkOffsetX = 16;
const int kMarkTop = 1;
// Width of each fixed edge slice of the background tile.
const int kTileEdge = 3;

SCROLLINFO ReadScrollInfo(HWND hWnd)
{
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    ::GetScrollInfo(hWnd, SB_HORZ, &si);
    return si;
}

// The highest position the bar itself accepts.
int MaxScrollPos(const SCROLLINFO& si)
{
    const int nPage = static_cast<int>(si.nPage);
    return std::max(si.nMin, si.nMax - std::max(nPage - 1, 0));
}

void WriteScrollPos(HWND hWnd, int nPos)
{
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_POS;
    si.nPos = nPos;
    ::SetScrollInfo(hWnd, SB_HORZ, &si, TRUE);
}
} // namespace

int CTarvoToolWnd::ClientWidth() const
{
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    return rc.right - rc.left;
}

void CTarvoToolWnd::RecalcLayout()
{
    const int nPos = ::GetScrollPos(m_hWnd, SB_HORZ);
    RECT rcClient = {};
    ::GetClientRect(m_hWnd, &rcClient);
    ClearVisible();
    int x = BOX_LEFT - nPos;
    for (size_t i = 0; i < m_vecElems.size(); ++i, x += BOX_PITCH)
    {
        CElem* pElem = m_vecElems[i];
        pElem->m_rcBox = RECT{x, BOX_TOP, x + CElem::THUMB_WIDTH, BOX_BOTTOM};
        pElem->m_nIndex = static_cast<int>(i);
        if (x + CElem::THUMB_WIDTH > 0 && x < rcClient.right)
        {
            m_mapVisible[pElem->m_nIndex] = pElem;
            pElem->AddRef();
        }
    }
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

SIZE CTarvoToolWnd::GetContentSize()
{
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    return SIZE{BOX_LEFT + BOX_PITCH * static_cast<LONG>(m_vecElems.size()), rc.bottom - rc.top};
}

void CTarvoToolWnd::UpdateScrollBar()
{
    const int nContent = GetContentSize().cx;
    const int nClient = ClientWidth();
    if (nContent > nClient)
    {
        ::EnableScrollBar(m_hWnd, SB_HORZ, ESB_ENABLE_BOTH);
        SCROLLINFO si = ReadScrollInfo(m_hWnd);
        si.fMask = SIF_RANGE | SIF_PAGE;
        si.nMax = nContent;
        si.nPage = static_cast<UINT>(nClient);
        ::SetScrollInfo(m_hWnd, SB_HORZ, &si, TRUE);
    }
    else
    {
        // Range, page and position stay: the row may stay shifted to the left.
        ::EnableScrollBar(m_hWnd, SB_HORZ, ESB_DISABLE_BOTH);
    }
}

void CTarvoToolWnd::ScrollToElem(int nIndex)
{
    const int nCount = static_cast<int>(m_vecElems.size());
    if (nIndex >= nCount)
        nIndex = nCount - 1;
    // The platform keeps the position within the bar's range.
    WriteScrollPos(m_hWnd, nIndex * BOX_PITCH);
    UpdateScrollBar();
}

void CTarvoToolWnd::OnHScroll(UINT nSBCode)
{
    Default();
    const int nClient = ClientWidth();
    const SCROLLINFO si = ReadScrollInfo(m_hWnd);
    // The bar's own maximum, so that the steps and the thumb stop at the same place.
    const int nMaxPos = MaxScrollPos(si);
    int nPos = si.nPos;
    switch (nSBCode)
    {
    case SB_LINELEFT:
        nPos = std::max(nPos - 1, 0);
        break;
    case SB_LINERIGHT:
        nPos = std::min(nPos + 1, nMaxPos);
        break;
    case SB_PAGELEFT:
        nPos = std::max(nPos - nClient, 0);
        break;
    case SB_PAGERIGHT:
        nPos = std::min(nPos + nClient, nMaxPos);
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        // The message carries only 16 bits of the position.
        nPos = si.nTrackPos;
        break;
    default:
        break;
    }
    WriteScrollPos(m_hWnd, nPos);
    RecalcLayout();
}

void CTarvoToolWnd::OnMouseWheel(int nDelta)
{
    // One entry per notch; a fine wheel's smaller turns add up to notches.
    m_nWheelRest += nDelta;
    const int nNotches = m_nWheelRest / WHEEL_DELTA;
    if (nNotches == 0)
        return;
    m_nWheelRest -= nNotches * WHEEL_DELTA;
    const SCROLLINFO si = ReadScrollInfo(m_hWnd);
    // Turning the wheel towards the user moves on to later entries.
    WriteScrollPos(m_hWnd, std::min(std::max(si.nPos - nNotches * BOX_PITCH, 0), MaxScrollPos(si)));
    RecalcLayout();
}

void CTarvoToolWnd::OnPaint()
{
    CPaintDC dc(m_hWnd);
    RECT rcClient = {};
    ::GetClientRect(m_hWnd, &rcClient);
    KelDraw::CRoMemDC dcBuffer(dc.m_hDC, &rcClient);
    DrawBackground(rcClient, &dcBuffer);
    DrawContent(&dcBuffer, rcClient);
    dcBuffer.Finish();
}

void CTarvoToolWnd::DrawBackground(const RECT& rcClient, CDC* pDC)
{
    if (!m_pBackImage || m_pBackImage->IsNull())
        return;
    const int cxTile = m_pBackImage->GetWidth();
    const int cyTile = m_pBackImage->GetHeight();
    const LONG L = rcClient.left;
    const LONG R = rcClient.right;
    const LONG T = rcClient.top;
    const LONG B = rcClient.bottom;
    // Fixed edges left and right, the middle stretched, all to the full height.
    m_pBackImage->Draw(pDC->m_hDC, RECT{L, T, L + kTileEdge, B}, RECT{0, 0, kTileEdge, cyTile});
    if (R - L > 2 * kTileEdge)
        m_pBackImage->Draw(pDC->m_hDC, RECT{L + kTileEdge, T, R - kTileEdge, B},
                           RECT{kTileEdge, 0, cxTile - kTileEdge, cyTile});
    m_pBackImage->Draw(pDC->m_hDC, RECT{R - kTileEdge, T, R, B},
                       RECT{cxTile - kTileEdge, 0, cxTile, cyTile});
}

void CTarvoToolWnd::DrawContent(CDC* pDC, const RECT& /*rcClient*/)
{
    // The thumbnails, opaque, by GDI alone and first: GDI+ under Wine keeps
    // the device contexts it made for a picture it then could not draw, so
    // at the GDI quota every paint would keep what room there is.
    {
        CDC dcThumb;
        if (dcThumb.CreateCompatibleDC(pDC->m_hDC))
            for (const auto& node : m_mapVisible)
            {
                const CElem* pElem = node.second;
                const RECT& rc = pElem->m_rcBox;
                BITMAP bm = {};
                if (!pElem->m_hThumb || !::GetObjectW(pElem->m_hThumb, sizeof(bm), &bm))
                    continue;
                CSelectObject select(dcThumb.m_hDC, pElem->m_hThumb);
                if (bm.bmWidth == rc.right - rc.left && bm.bmHeight == rc.bottom - rc.top)
                    ::BitBlt(pDC->m_hDC, rc.left, rc.top, bm.bmWidth, bm.bmHeight, dcThumb.m_hDC, 0, 0, SRCCOPY);
                else
                    ::StretchBlt(pDC->m_hDC, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, dcThumb.m_hDC,
                                 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
            }
    }
    Gdiplus::Graphics graphics(pDC->m_hDC);
    for (const auto& node : m_mapVisible)
    {
        const CElem* pElem = node.second;
        const RECT& rc = pElem->m_rcBox;
        // Drawn by pixel size: a size from the picture's resolution could differ.
        if (pElem->m_bDropMark && m_pMarkImage)
            graphics.DrawImage(m_pMarkImage, static_cast<INT>(rc.left - kMarkOffsetX), kMarkTop,
                               static_cast<INT>(m_pMarkImage->GetWidth()),
                               static_cast<INT>(m_pMarkImage->GetHeight()));
    }
    // Last, so its border lies over any marker reaching into it.
    if (m_pSelected && m_pFrameImage)
    {
        const RECT& rc = m_pSelected->m_rcBox;
        graphics.DrawImage(m_pFrameImage, static_cast<INT>(rc.left - kFrameSide),
                           static_cast<INT>(rc.top - kFrameTopBottom),
                           static_cast<INT>(rc.right - rc.left + 2 * kFrameSide),
                           static_cast<INT>(rc.bottom - rc.top + 2 * kFrameTopBottom));
    }
    // Last, so the drag image shows the pressed box as this frame has it.
    if (m_pPressed)
    {
        graphics.Flush(Gdiplus::FlushIntentionSync);
        SnapshotDragImage(m_pPressed->m_rcBox, pDC);
    }
}
