#include "framework/Image.h"

#include "framework/DC.h"

CImage::CImage() : m_hBitmap(nullptr), m_nWidth(0), m_nHeight(0) {}

CImage::~CImage()
{
    Destroy();
}

void CImage::Attach(HBITMAP hBitmap)
{
    Destroy();
    if (!hBitmap)
        return;
    BITMAP bm = {};
    // Taken over either way: what cannot be used is deleted here.
    if (!::GetObjectW(hBitmap, sizeof(bm), &bm))
    {
        ::DeleteObject(hBitmap);
        return;
    }
    m_hBitmap = hBitmap;
    m_nWidth = bm.bmWidth;
    m_nHeight = bm.bmHeight;
}

void CImage::Destroy()
{
    if (m_hBitmap)
        ::DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
    m_nWidth = 0;
    m_nHeight = 0;
}

BOOL CImage::Draw(HDC hDestDC, const RECT& rcDest, const RECT& rcSrc) const
{
    if (!m_hBitmap)
        return FALSE;
    CDC dcSrc;
    if (!dcSrc.CreateCompatibleDC(hDestDC))
        return FALSE;
    CSelectObject select(dcSrc.m_hDC, m_hBitmap);
    // Whole source pixels, never blended with their neighbours.
    const int nOldMode = ::SetStretchBltMode(hDestDC, COLORONCOLOR);
    const BOOL bDone = ::StretchBlt(hDestDC, rcDest.left, rcDest.top, rcDest.right - rcDest.left,
                                    rcDest.bottom - rcDest.top, dcSrc.m_hDC, rcSrc.left, rcSrc.top,
                                    rcSrc.right - rcSrc.left, rcSrc.bottom - rcSrc.top, SRCCOPY);
    ::SetStretchBltMode(hDestDC, nOldMode);
    return bDone;
}
