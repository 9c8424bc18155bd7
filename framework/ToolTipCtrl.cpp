#include "framework/ToolTipCtrl.h"

#include <commctrl.h>

namespace
{
// The full structure: the program runs with common controls 6, which takes it.
TTTOOLINFOW MakeToolInfo(CWnd* pWnd, UINT_PTR nIDTool)
{
    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = pWnd ? pWnd->m_hWnd : nullptr;
    ti.uId = nIDTool;
    return ti;
}
} // namespace

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle)
{
    return CreateEx(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, pParentWnd ? pParentWnd->m_hWnd : nullptr, nullptr);
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCWSTR lpszText, const RECT* lpRectTool, UINT_PTR nIDTool)
{
    if (!m_hWnd)
        return FALSE;
    TTTOOLINFOW ti = MakeToolInfo(pWnd, nIDTool);
    if (lpRectTool)
        ti.rect = *lpRectTool;
    ti.lpszText = const_cast<LPWSTR>(lpszText);
    return static_cast<BOOL>(::SendMessageW(m_hWnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

void CToolTipCtrl::SetToolRect(CWnd* pWnd, UINT_PTR nIDTool, const RECT* lpRect)
{
    if (!m_hWnd)
        return;
    TTTOOLINFOW ti = MakeToolInfo(pWnd, nIDTool);
    ti.rect = *lpRect;
    ::SendMessageW(m_hWnd, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::GetText(std::wstring& str, CWnd* pWnd, UINT_PTR nIDTool) const
{
    // The control copies at most INFOTIPSIZE characters; it leaves the buffer
    // untouched when the tool has no text.
    wchar_t szText[INFOTIPSIZE] = {};
    if (m_hWnd)
    {
        TTTOOLINFOW ti = MakeToolInfo(pWnd, nIDTool);
        ti.lpszText = szText;
        ::SendMessageW(m_hWnd, TTM_GETTEXTW, INFOTIPSIZE, reinterpret_cast<LPARAM>(&ti));
        szText[INFOTIPSIZE - 1] = L'\0';
    }
    str = szText;
}

void CToolTipCtrl::UpdateTipText(LPCWSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool)
{
    if (!m_hWnd)
        return;
    TTTOOLINFOW ti = MakeToolInfo(pWnd, nIDTool);
    ti.lpszText = const_cast<LPWSTR>(lpszText);
    ::SendMessageW(m_hWnd, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::Activate(BOOL bActivate)
{
    if (m_hWnd)
        ::SendMessageW(m_hWnd, TTM_ACTIVATE, static_cast<WPARAM>(bActivate), 0);
}

int CToolTipCtrl::GetToolCount() const
{
    return m_hWnd ? static_cast<int>(::SendMessageW(m_hWnd, TTM_GETTOOLCOUNT, 0, 0)) : 0;
}

int CToolTipCtrl::SetMaxTipWidth(int iWidth)
{
    return m_hWnd ? static_cast<int>(::SendMessageW(m_hWnd, TTM_SETMAXTIPWIDTH, 0, iWidth)) : 0;
}

void CToolTipCtrl::SetDelayTime(DWORD dwDuration, int iTime)
{
    if (m_hWnd)
        ::SendMessageW(m_hWnd, TTM_SETDELAYTIME, dwDuration, iTime);
}

void CToolTipCtrl::RelayEvent(const MSG* pMsg)
{
    if (m_hWnd)
        ::SendMessageW(m_hWnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg));
}
