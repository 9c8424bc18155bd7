#pragma once

#include <windows.h>

class CWnd;

// Sole owner of a popup menu handle.
class CMenu
{
public:
    CMenu() : m_hMenu(nullptr) {}
    ~CMenu() { DestroyMenu(); }
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    BOOL CreatePopupMenu();
    BOOL DestroyMenu();
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr);
    UINT CheckMenuItem(UINT nIDCheckItem, UINT nCheck);
    // Runs the menu's modal loop; a chosen item reaches pWnd as WM_COMMAND.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd);

    HMENU m_hMenu;
};
