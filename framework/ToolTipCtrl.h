#pragma once

#include "framework/Wnd.h"

#include <string>

// The common control "tooltips_class32". Every operation needs the window;
// without one it does nothing and reads back zero or an empty text.
class CToolTipCtrl : public CWnd
{
public:
    // A popup owned by pParentWnd, with WS_POPUP and the given TTS_ styles.
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);

    BOOL AddTool(CWnd* pWnd, LPCWSTR lpszText, const RECT* lpRectTool, UINT_PTR nIDTool);
    void SetToolRect(CWnd* pWnd, UINT_PTR nIDTool, const RECT* lpRect);
    void GetText(std::wstring& str, CWnd* pWnd, UINT_PTR nIDTool) const;
    void UpdateTipText(LPCWSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool);
    void Activate(BOOL bActivate);
    int GetToolCount() const;
    int SetMaxTipWidth(int iWidth);
    void SetDelayTime(DWORD dwDuration, int iTime);
    // The control only reads the message.
    void RelayEvent(const MSG* pMsg);
};
