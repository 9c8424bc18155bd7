#include "strip/TarvoToolWnd.h"

#include "dnd/ElemDragData.h"

#include <algorithm>

namespace
{
const int kEdgeZone = 30;     // px at each end of the client area
const int kScrollStep = 10;   // px per tick
const UINT kScrollPeriod = 25; // ms
} // namespace

DROPEFFECT CTarvoToolWnd::OnDragEnter(CWnd* /*pWnd*/, COleDataObject* pDataObject, DWORD /*dwKeyState*/,
                                      POINT /*point*/)
{
    if (!pDataObject || !pDataObject->IsDataAvailable(ElemDragFormat()))
        return DROPEFFECT_NONE;
    SElemDragData data;
    if (!ReadElemDragData(pDataObject, &data))
        return DROPEFFECT_NONE;
    return data.SourceWnd() == m_hWnd ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
}

DROPEFFECT CTarvoToolWnd::OnDragOver(CWnd* /*pWnd*/, COleDataObject* pDataObject, DWORD /*dwKeyState*/,
                                     POINT point)
{
    SElemDragData data;
    if (!ReadElemDragData(pDataObject, &data))
        return DROPEFFECT_NONE;

    // Only the entry under the cursor keeps a mark; the dragged one is never
    // marked. Another window's id names none of ours, whatever its value.
    const CElem* pDragged = data.SourceWnd() == m_hWnd ? FindElemByDragId(data.nElemId) : nullptr;
    CElem* pHit = nullptr;
    for (const auto& node : m_mapVisible)
    {
        CElem* pElem = node.second;
        if (!pElem || pElem == pDragged)
            continue;
        pElem->m_bDropMark = !pHit && ::PtInRect(&pElem->m_rcBox, point);
        if (pElem->m_bDropMark)
            pHit = pElem;
    }

    RECT rcClient = {};
    ::GetClientRect(m_hWnd, &rcClient);
    m_nScrollZone = HitTestEdgeZone(rcClient, point);
    // A zone of 0 does not stop the timer here; its next tick does.
    if (m_nScrollZone != 0 && !m_bScrollTimer)
        m_bScrollTimer = ::SetTimer(m_hWnd, TIMER_AUTOSCROLL, kScrollPeriod, nullptr) != 0;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    return pHit ? DROPEFFECT_MOVE : DROPEFFECT_NONE;
}

DROPEFFECT CTarvoToolWnd::OnDropEx(CWnd* /*pWnd*/, COleDataObject* pDataObject, DROPEFFECT dropDefault,
                                   DROPEFFECT /*dropList*/, POINT point)
{
    ClearDropMarks();
    StopAutoScroll();
    m_nScrollZone = 0;
    SElemDragData data;
    // Only an entry of this strip moves: an id means something only to the
    // window that sent it, and a forged one names none here.
    if (ReadElemDragData(pDataObject, &data) && data.SourceWnd() == m_hWnd)
    {
        CElem* pTarget = HitTest(point);
        CElem* pDragged = FindElemByDragId(data.nElemId);
        if (pTarget && pDragged && pTarget != pDragged)
            MoveElem(pTarget, pDragged);
    }
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    return dropDefault;
}

// A drag that leaves or is cancelled leaves no mark and no scrolling behind.
void CTarvoToolWnd::OnDragLeave(CWnd* /*pWnd*/)
{
    ClearDropMarks();
    StopAutoScroll();
    m_nScrollZone = 0;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CTarvoToolWnd::HitTestEdgeZone(const RECT& rcClient, POINT point)
{
    // The right zone first: it wins where the two overlap.
    const RECT rcRight = {rcClient.right - kEdgeZone, rcClient.top, rcClient.right, rcClient.bottom};
    if (::PtInRect(&rcRight, point))
        return 2;
    const RECT rcLeft = {rcClient.left, rcClient.top, rcClient.left + kEdgeZone, rcClient.bottom};
    if (::PtInRect(&rcLeft, point))
        return 1;
    return 0;
}

CElem* CTarvoToolWnd::FindElemByDragId(DWORD nDragId) const
{
    const auto it = std::find_if(m_vecElems.begin(), m_vecElems.end(),
                                 [nDragId](const CElem* pElem) { return pElem->m_nDragId == nDragId; });
    return it == m_vecElems.end() ? nullptr : *it;
}

BOOL CTarvoToolWnd::MoveElem(CElem* pTarget, CElem* pDragged)
{
    if (!pTarget || !pDragged)
        return FALSE;
    const auto itTarget = std::find(m_vecElems.begin(), m_vecElems.end(), pTarget);
    const auto itDragged = std::find(m_vecElems.begin(), m_vecElems.end(), pDragged);
    if (itTarget == m_vecElems.end() || itDragged == m_vecElems.end())
        return FALSE;
    // Already just before the target, or the target itself: nothing moves.
    if (itDragged + 1 == itTarget || itDragged == itTarget)
        return TRUE;
    // In front of the target; the same pointers stay, so no count changes.
    if (itDragged > itTarget)
        std::rotate(itTarget, itDragged, itDragged + 1);
    else
        std::rotate(itDragged, itDragged + 1, itTarget);
    RecalcLayout();
    return TRUE;
}

// Whether the bar is enabled: the content is wider than the client area. The
// bar's own state cannot tell (Wine reports 0 for an enabled and for a
// disabled bar alike, and Windows reports 0 for an enabled one).
BOOL CTarvoToolWnd::CanAutoScroll()
{
    return GetContentSize().cx > ClientWidth();
}

void CTarvoToolWnd::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != TIMER_AUTOSCROLL)
    {
        Default();
        return;
    }
    if (m_nScrollZone != 0 && CanAutoScroll())
    {
        SCROLLINFO si = {};
        si.cbSize = sizeof(si);
        si.fMask = SIF_ALL;
        ::GetScrollInfo(m_hWnd, SB_HORZ, &si);
        // The full width: positions past 32767 are real for long strips.
        si.nPos += m_nScrollZone == 1 ? -kScrollStep : kScrollStep;
        si.fMask = SIF_POS;
        // The bar clamps the position into its range; the layout reads it back.
        ::SetScrollInfo(m_hWnd, SB_HORZ, &si, TRUE);
        RecalcLayout();
        return;
    }
    StopAutoScroll();
    Default();
}

void CTarvoToolWnd::StopAutoScroll()
{
    if (m_bScrollTimer)
        ::KillTimer(m_hWnd, TIMER_AUTOSCROLL);
    m_bScrollTimer = FALSE;
}

void CTarvoToolWnd::ClearDropMarks()
{
    for (CElem* pElem : m_vecElems)
        pElem->m_bDropMark = FALSE;
}
