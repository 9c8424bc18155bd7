#include "strip/TarvoToolWnd.h"

#include "viewer/ElemSelectCall.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace
{
const DWORD kHoverTime = 1; // ms
const int kDragSlop = 3;     // px
} // namespace

CElem* CTarvoToolWnd::HitTest(POINT point) const
{
    for (const auto& node : m_mapVisible)
        if (::PtInRect(&node.second->m_rcBox, point))
            return node.second;
    return nullptr;
}

void CTarvoToolWnd::Forget(CElem* pElem)
{
    if (m_pSelected == pElem)
        m_pSelected = nullptr;
    if (m_pHover == pElem)
        m_pHover = nullptr;
    if (m_pPressed == pElem)
        m_pPressed = nullptr;
    ForgetTooltipID(pElem);
}

// The strip is consistent before the viewer hears of the choice: loading a
// file can show a message box, whose message loop paints the strip.
void CTarvoToolWnd::ReportSelection(int nIndex, BOOL bReload)
{
    if (!m_pSelectCall)
        return;
    if (nIndex < 0)
    {
        m_pSelectCall->OnElemSelect(-1, nullptr, nullptr, FALSE);
        return;
    }
    // Copies: the viewer's nested message loop may change the strip meanwhile.
    const std::wstring strName = m_vecElems[static_cast<size_t>(nIndex)]->m_strName;
    const std::wstring strPath = m_vecElems[static_cast<size_t>(nIndex)]->m_strPath;
    m_pSelectCall->OnElemSelect(nIndex, strName.c_str(), strPath.c_str(), bReload);
}

void CTarvoToolWnd::OnLButtonDown(POINT point)
{
    if (CElem* pElem = HitTest(point))
    {
        m_ptPress = point;
        m_pPressed = pElem;
        return;
    }
    m_pPressed = nullptr;
    Default();
}

void CTarvoToolWnd::OnLButtonUp(POINT point)
{
    // A press ends here, on an entry or not.
    m_pPressed = nullptr;
    CElem* pElem = HitTest(point);
    if (!pElem)
    {
        Default();
        return;
    }
    m_pSelected = pElem;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ReportSelection(pElem->m_nIndex, FALSE);
}

void CTarvoToolWnd::OnMouseMove(UINT nFlags, POINT point)
{
    // A press moved more than 3 px in x or y with the button held starts a drag.
    if (m_pPressed && (nFlags & MK_LBUTTON) &&
        (std::abs(point.x - m_ptPress.x) > kDragSlop || std::abs(point.y - m_ptPress.y) > kDragSlop))
    {
        if (StartDrag(m_pPressed))
            m_pPressed = nullptr;
        // The drag's loop may have seen the strip's window destroyed.
        if (!m_hWnd)
            return;
    }

    if (!m_bTracking)
    {
        TRACKMOUSEEVENT tme = {};
        tme.cbSize = sizeof(tme);
        tme.dwFlags = TME_HOVER | TME_LEAVE;
        tme.hwndTrack = m_hWnd;
        tme.dwHoverTime = kHoverTime;
        m_bTracking = ::TrackMouseEvent(&tme);
    }

    CElem* pOldHover = m_pHover;
    CElem* pElem = HitTest(point);
    if (pElem)
        UpdateTooltip(pElem->m_strName.c_str(), &pElem->m_rcBox, pElem);
    m_pHover = pElem;
    if (m_pHover != pOldHover)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    Default();
}

void CTarvoToolWnd::OnMouseLeave()
{
    if (!m_bTracking)
        return;
    m_bTracking = FALSE;
    m_pHover = nullptr;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

BOOL CTarvoToolWnd::PreTranslateMessage(MSG* pMsg)
{
    RelayTooltipEvent(pMsg);
    return CWnd::PreTranslateMessage(pMsg);
}

void CTarvoToolWnd::SelectElem(int nIndex)
{
    if (m_vecElems.empty())
        return;
    nIndex = std::max(0, std::min(nIndex, static_cast<int>(m_vecElems.size()) - 1));
    m_pSelected = m_vecElems[static_cast<size_t>(nIndex)];
    if (m_mapVisible.find(nIndex) == m_mapVisible.end())
    {
        ScrollToElem(nIndex);
        RecalcLayout();
    }
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ReportSelection(nIndex, FALSE);
}

void CTarvoToolWnd::RemoveElem(int nIndex)
{
    if (nIndex < 0 || nIndex >= static_cast<int>(m_vecElems.size()))
        return;
    CElem* pElem = m_vecElems[static_cast<size_t>(nIndex)];
    Forget(pElem);
    m_vecElems.erase(m_vecElems.begin() + nIndex);
    auto it = m_mapVisible.find(nIndex);
    if (it != m_mapVisible.end() && it->second == pElem)
    {
        m_mapVisible.erase(it);
        pElem->Release();
    }
    pElem->Release();

    // The successor takes the place; after the last entry, the new last one.
    const int nCount = static_cast<int>(m_vecElems.size());
    const int nSelect = std::min(nIndex, nCount - 1);
    m_pSelected = nSelect >= 0 ? m_vecElems[static_cast<size_t>(nSelect)] : nullptr;
    // The bar first: a smaller range can move the position the row is laid out at.
    UpdateScrollBar();
    RecalcLayout();
    ReportSelection(nSelect, FALSE);
}

void CTarvoToolWnd::RefreshElem(int nIndex)
{
    if (nIndex < 0 || nIndex >= static_cast<int>(m_vecElems.size()))
        return;
    CElem* pElem = m_vecElems[static_cast<size_t>(nIndex)];
    const std::wstring strPath = pElem->m_strPath;
    Forget(pElem);
    m_vecElems.erase(m_vecElems.begin() + nIndex);
    pElem->Release(); // the map's reference goes at the layout below

    const size_t nCountBefore = m_vecElems.size();
    InsertFile(strPath.c_str(), nIndex);
    // A file that no longer decodes leaves the strip as a removal would.
    const int nCount = static_cast<int>(m_vecElems.size());
    const int nSelect = std::min(nIndex, nCount - 1);
    m_pSelected = nSelect >= 0 ? m_vecElems[static_cast<size_t>(nSelect)] : nullptr;
    if (m_vecElems.size() == nCountBefore)
        UpdateScrollBar();
    RecalcLayout();
    ReportSelection(nSelect, nSelect >= 0);
}
