#include "draw/RoMemDC.h"

#include <climits>

namespace KelDraw
{

namespace
{
// GDI keeps a bitmap's size in 32 bits. A buffer of 2 GB or more is refused
// on every architecture, as a 32-bit process has to: Wine's 64-bit GDI would
// hand one out.
bool FitsGdi(int cx, int cy)
{
    return cx > 0 && cy > 0 && static_cast<long long>(cx) * cy * 4 <= INT_MAX;
}

} // namespace

HBITMAP CreateTopDownDib(int cx, int cy, void** ppBits)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    HBITMAP hDib = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hDib && !pBits)
    {
        ::DeleteObject(hDib);
        hDib = nullptr;
    }
    if (ppBits)
        *ppBits = hDib ? pBits : nullptr;
    return hDib;
}

CRoMemDC::CRoMemDC(HDC hTargetDC, const RECT* pRect, BOOL bAlpha)
    : m_rect(*pRect), m_hOldBitmap(nullptr), m_hBitmap(nullptr), m_hTargetDC(hTargetDC)
{
    if (!CreateCompatibleDC(nullptr))
        return;
    const int cx = m_rect.right - m_rect.left;
    const int cy = m_rect.bottom - m_rect.top;
    if (FitsGdi(cx, cy))
        m_hBitmap = bAlpha ? CreateTopDownDib(cx, cy) : ::CreateCompatibleBitmap(hTargetDC, cx, cy);
    if (m_hBitmap)
        m_hOldBitmap = ::SelectObject(m_hDC, m_hBitmap);
    ::SetWindowOrgEx(m_hDC, m_rect.left, m_rect.top, nullptr);
}

CRoMemDC::~CRoMemDC()
{
    Finish();
}

void CRoMemDC::Finish()
{
    if (m_hBitmap && m_hTargetDC)
        ::BitBlt(m_hTargetDC, m_rect.left, m_rect.top, m_rect.right - m_rect.left,
                 m_rect.bottom - m_rect.top, m_hDC, m_rect.left, m_rect.top, SRCCOPY);
    Discard();
}

void CRoMemDC::Discard()
{
    // Put back before deleting: GDI does not delete a selected bitmap.
    if (m_hOldBitmap)
        ::SelectObject(m_hDC, m_hOldBitmap);
    if (m_hBitmap)
        ::DeleteObject(m_hBitmap);
    m_hOldBitmap = nullptr;
    m_hBitmap = nullptr;
    m_hTargetDC = nullptr;
}

HBITMAP CRoMemDC::CopyBitmap()
{
    // Without a buffer there is nothing to copy: the DC's stock bitmap is one
    // monochrome pixel.
    if (!m_hDC || !m_hBitmap)
        return nullptr;
    const int cx = m_rect.right - m_rect.left;
    const int cy = m_rect.bottom - m_rect.top;
    CDC dcCopy;
    // Without its DC the copy would be a black bitmap reported as made.
    if (!dcCopy.CreateCompatibleDC(m_hDC))
        return nullptr;
    HBITMAP hCopy = ::CreateCompatibleBitmap(m_hDC, cx, cy);
    if (!hCopy)
        return nullptr;
    {
        CSelectObject select(dcCopy.m_hDC, hCopy);
        ::BitBlt(dcCopy.m_hDC, 0, 0, cx, cy, m_hDC, m_rect.left, m_rect.top, SRCCOPY);
    }
    return hCopy;
}

} // namespace KelDraw
