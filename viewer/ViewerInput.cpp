#include "viewer/TarvoMainWnd.h"

#include "controls/KelElement.h"
#include "framework/Menu.h"
#include "res/resource.h"
#include "strip/TarvoToolWnd.h"

#include <windowsx.h>

#include <new>

namespace
{
const wchar_t kMenuTopMost[] = L"置顶";
const wchar_t kMenuClose[] = L"关闭";
}

void CTarvoMainWnd::CreateElement()
{
    m_pElement = new (std::nothrow) CKelElement;
    if (!m_pElement)
        return;
    RECT rcClient;
    ::GetClientRect(m_hWnd, &rcClient);
    m_pElement->m_rcBounds = {rcClient.right - 90, rcClient.bottom - 17, rcClient.right - 2, rcClient.bottom - 2};
    m_pElement->m_pOwner = this;
    m_pElement->m_nID = ID_ELEMENT;
    m_pElement->m_bVisible = TRUE;
    m_pElement->LoadStateImage(IDR_PNG_LINK, CKelElement::STATE_NORMAL);
    m_pElement->LoadStateImage(IDR_PNG_LINK_HOVER, CKelElement::STATE_HOVER);
}

void CTarvoMainWnd::OnLButtonDown(POINT point)
{
    Default();
    if (!m_bClickTimer)
    {
        ::SetTimer(m_hWnd, TIMER_CLICK, CLICK_WINDOW, nullptr);
        m_bClickTimer = TRUE;
        ::ClientToScreen(m_hWnd, &point);
        MoveWithMouse(point);
    }
    else if (m_bDblClickArmed)
    {
        ::SendMessageW(m_hWnd, WM_LBUTTONDBLCLK, 0, 0);
        m_bDblClickArmed = FALSE;
    }
}

void CTarvoMainWnd::MoveWithMouse(POINT ptPress)
{
    // Only a press that becomes a drag enters the platform's move loop, as a
    // press on a caption would: under a window manager Wine hands that loop to
    // it, and a loop started for a button already released follows the mouse
    // until the next click, which then never makes a double click.
    // DragDetect's loop handles sent messages, a close among them.
    if (!::DragDetect(m_hWnd, ptPress) || !m_hWnd)
        return;
    // The window catches up with the distance the drag took to be seen, and
    // the loop follows the mouse from here until the button is released.
    POINT ptNow;
    ::GetCursorPos(&ptNow);
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    ::SetWindowPos(m_hWnd, nullptr, rc.left + ptNow.x - ptPress.x, rc.top + ptNow.y - ptPress.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(ptNow.x, ptNow.y));
}

void CTarvoMainWnd::OnClickTimer()
{
    m_bDblClickArmed = TRUE;
    m_bClickTimer = FALSE;
    ::KillTimer(m_hWnd, TIMER_CLICK);
}

void CTarvoMainWnd::OnLButtonDblClk()
{
    Default();
    ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void CTarvoMainWnd::OnRButtonDown(POINT point)
{
    Default();
    CMenu menu;
    menu.CreatePopupMenu();
    menu.AppendMenu(MF_STRING, ID_TOPMOST, kMenuTopMost);
    menu.AppendMenu(MF_SEPARATOR);
    menu.AppendMenu(MF_STRING, ID_CLOSE, kMenuClose);
    menu.CheckMenuItem(ID_TOPMOST, MF_BYCOMMAND | (m_bTopMost ? MF_CHECKED : MF_UNCHECKED));
    ::ClientToScreen(m_hWnd, &point);
    menu.TrackPopupMenu(0, point.x, point.y, this);
}

BOOL CTarvoMainWnd::OnCommand(UINT nID)
{
    switch (nID)
    {
    case ID_TOPMOST:
        m_bTopMost = !m_bTopMost;
        ::SetWindowPos(m_hWnd, InsertAfter(), 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
        return TRUE;
    case ID_CLOSE:
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CTarvoMainWnd::PreTranslateMessage(MSG* pMsg)
{
    // The wheel works on the window under the cursor, the viewer or the
    // strip, wherever the keyboard focus is.
    if (pMsg->message == WM_MOUSEWHEEL)
    {
        const HWND hUnder = ::WindowFromPoint(POINT{GET_X_LPARAM(pMsg->lParam), GET_Y_LPARAM(pMsg->lParam)});
        if (hUnder == m_hWnd || (HasStripWindow() && hUnder == m_pToolWnd->m_hWnd))
            pMsg->hwnd = hUnder;
    }
    if (pMsg->message == WM_KEYDOWN)
    {
        const bool bStrip = HasStripWindow();
        switch (pMsg->wParam)
        {
        case VK_LEFT:
            if (bStrip)
                m_pToolWnd->SelectElem(CurIndex() - 1);
            break;
        case VK_RIGHT:
            if (bStrip)
                m_pToolWnd->SelectElem(CurIndex() + 1);
            break;
        case VK_DELETE:
            if (bStrip)
                m_pToolWnd->RemoveElem(CurIndex());
            break;
        case VK_F5:
            if (bStrip)
                m_pToolWnd->RefreshElem(CurIndex());
            break;
        case VK_ESCAPE:
            ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
            break;
        case VK_TAB:
            ShowToolWnd(bStrip ? !::IsWindowVisible(m_pToolWnd->m_hWnd) : TRUE);
            break;
        }
    }
    return CWnd::PreTranslateMessage(pMsg);
}

void CTarvoMainWnd::OnDropFiles(HDROP hDropInfo)
{
    // An absent strip is made hidden; a present one keeps its visibility.
    ShowToolWnd(HasStripWindow() && ::IsWindowVisible(m_pToolWnd->m_hWnd));
    if (HasStripWindow())
    {
        m_pToolWnd->AddDropFiles(hDropInfo);
        // The drop's loop may have seen the viewer closed.
        const int nCount = m_hWnd ? static_cast<int>(m_pToolWnd->m_vecElems.size()) : 0;
        if (nCount > 0)
            m_pToolWnd->SelectElem(nCount - 1);
    }
    // The strip only reads the names; the handle is finished here, once.
    ::DragFinish(hDropInfo);
}

int CTarvoMainWnd::CurIndex() const
{
    // The strip's selection is the entry the viewer shows, wherever a reorder
    // has moved it; before the strip has selected anything, the index last
    // reported stands.
    if (HasStripWindow() && m_pToolWnd->m_pSelected)
        return m_pToolWnd->m_pSelected->m_nIndex;
    return m_nCurIndex;
}

bool CTarvoMainWnd::HasStripWindow() const
{
    return m_pToolWnd && m_pToolWnd->m_hWnd;
}
