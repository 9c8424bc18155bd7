#pragma once

#include <windows.h>

// A bitmap drawn by parts, stretched. Owns the bitmap attached to it.
class CImage
{
public:
    CImage();
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Takes over hBitmap (a DIB section), and deletes it at once when it cannot
    // be read as a bitmap; what was attached before is deleted.
    void Attach(HBITMAP hBitmap);
    void Destroy();
    bool IsNull() const { return m_hBitmap == nullptr; }
    HBITMAP GetSafeHandle() const { return m_hBitmap; }

    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }

    // Copies rcSrc of the bitmap into rcDest of hDestDC, stretched, with SRCCOPY.
    BOOL Draw(HDC hDestDC, const RECT& rcDest, const RECT& rcSrc) const;

private:
    HBITMAP m_hBitmap;
    int m_nWidth;
    int m_nHeight;
};
