#include "framework/DC.h"

CDC::~CDC()
{
    DeleteDC();
}

BOOL CDC::CreateCompatibleDC(HDC hDC)
{
    return Attach(::CreateCompatibleDC(hDC));
}

BOOL CDC::Attach(HDC hDC)
{
    DeleteDC();
    m_hDC = hDC;
    return hDC != nullptr;
}

HDC CDC::Detach()
{
    HDC hDC = m_hDC;
    m_hDC = nullptr;
    return hDC;
}

BOOL CDC::DeleteDC()
{
    return m_hDC ? ::DeleteDC(Detach()) : FALSE;
}

void CDC::FillSolidRect(const RECT& rc, COLORREF clr)
{
    const COLORREF clrOld = ::SetBkColor(m_hDC, clr);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, clrOld);
}

CClientDC::CClientDC(HWND hWnd) : m_hDC(::GetDC(hWnd)), m_hWnd(hWnd) {}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
}

// m_ps is declared first, so BeginPaint fills it before m_hDC is set.
CPaintDC::CPaintDC(HWND hWnd) : m_ps(), m_hDC(::BeginPaint(hWnd, &m_ps)), m_hWnd(hWnd) {}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}
