#include "viewer/TarvoMainWnd.h"

#include "strip/TarvoToolWnd.h"

#include <new>

void CTarvoMainWnd::ShowToolWnd(BOOL bShow)
{
    if (!m_pToolWnd)
    {
        m_pToolWnd = new (std::nothrow) CTarvoToolWnd(this);
        if (!m_pToolWnd)
            return;
        // A strip whose window cannot be made stays without one for good;
        // every use of it checks for the window first.
        if (!m_pToolWnd->CreateStripWindow())
            return;
        RECT rcWork;
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
        ::SetWindowPos(m_pToolWnd->m_hWnd, HWND_TOPMOST, 0, rcWork.bottom - CTarvoToolWnd::STRIP_HEIGHT,
                       rcWork.right - rcWork.left, CTarvoToolWnd::STRIP_HEIGHT, SWP_SHOWWINDOW);
    }
    if (m_pToolWnd->m_hWnd)
        ::ShowWindow(m_pToolWnd->m_hWnd, bShow ? SW_SHOWNORMAL : SW_HIDE);
}
