#pragma once

// The patterns that tools/make-test-pictures.py draws into tests/pictures/,
// and a view of the memory of a DIB section.

#include "tests/support/TestSupport.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace DecodeTest
{

const int kWidth = 13;
const int kHeight = 7;
const int kJpegWidth = 37;
const int kJpegHeight = 21;

struct SRgb
{
    int r, g, b;
};

inline SRgb Colour(int x, int y)
{
    return {(x * 19 + 7) & 255, (y * 37 + 11) & 255, ((x * 7 + y * 29) * 3) & 255};
}

inline int Index(int x, int y, int nColours)
{
    return (x + y * kWidth) % nColours;
}

inline SRgb PaletteEntry(int i)
{
    return {(i * 53 + 20) & 255, (i * 101 + 3) & 255, (i * 29 + 140) & 255};
}

inline int Alpha(int x, int y)
{
    static const int s_nAlphas[] = {0, 1, 64, 128, 254, 255};
    return s_nAlphas[(x + 2 * y) % 6];
}

inline int PremultipliedAlpha(int x, int y)
{
    static const int s_nAlphas[] = {255, 170, 85};
    return s_nAlphas[(x + y) % 3];
}

inline SRgb BlockColour(int bx, int by)
{
    return {(bx * 90 + 30) & 255, (by * 100 + 40) & 255, ((bx + by) * 70 + 20) & 255};
}

inline std::wstring PicturePath(const std::wstring& strName)
{
    return TestSupport::SourcePath(L"tests/pictures/" + strName);
}

// The pixels of a DIB section read from its own memory, rows taken as stored
// bottom-up; (x, y) counts from the top-left corner of the picture.
class CDibView
{
public:
    explicit CDibView(HBITMAP hBitmap) : m_ds()
    {
        m_bValid = hBitmap && ::GetObjectW(hBitmap, sizeof(m_ds), &m_ds) == sizeof(m_ds) && m_ds.dsBm.bmBits;
        if (!m_bValid || BitCount() > 8)
            return;
        HDC hDC = ::CreateCompatibleDC(nullptr);
        HGDIOBJ hOld = ::SelectObject(hDC, hBitmap);
        m_vecColours.resize(256);
        m_vecColours.resize(::GetDIBColorTable(hDC, 0, 256, m_vecColours.data()));
        ::SelectObject(hDC, hOld);
        ::DeleteDC(hDC);
    }

    bool Valid() const { return m_bValid; }
    const DIBSECTION& Section() const { return m_ds; }
    const BITMAPINFOHEADER& Header() const { return m_ds.dsBmih; }
    int Width() const { return m_ds.dsBm.bmWidth; }
    int Height() const { return m_ds.dsBm.bmHeight; }
    int BitCount() const { return m_ds.dsBm.bmBitsPixel; }
    int Stride() const { return m_ds.dsBm.bmWidthBytes; }
    const std::vector<RGBQUAD>& Colours() const { return m_vecColours; }

    const BYTE* Row(int y) const
    {
        return static_cast<const BYTE*>(m_ds.dsBm.bmBits) + static_cast<size_t>(Height() - 1 - y) * Stride();
    }
    int IndexAt(int x, int y) const
    {
        const BYTE* pRow = Row(y);
        switch (BitCount())
        {
        case 1:
            return (pRow[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (pRow[x / 2] >> (x % 2 ? 0 : 4)) & 15;
        default:
            return pRow[x];
        }
    }
    unsigned Raw16At(int x, int y) const { return Row(y)[2 * x] | (Row(y)[2 * x + 1] << 8); }
    // 0xAARRGGBB; alpha is the stored byte of 32-bit DIBs, else 255.
    uint32_t ArgbAt(int x, int y) const
    {
        const BYTE* pRow = Row(y);
        switch (BitCount())
        {
        case 1:
        case 4:
        case 8:
        {
            const size_t i = static_cast<size_t>(IndexAt(x, y));
            if (i >= m_vecColours.size())
                return 0;
            const RGBQUAD& q = m_vecColours[i];
            return 0xFF000000u | (q.rgbRed << 16) | (q.rgbGreen << 8) | q.rgbBlue;
        }
        case 16:
        {
            // By the section's masks; a BI_RGB section is 5-5-5.
            const unsigned v = Raw16At(x, y);
            const bool bMasks = m_ds.dsBmih.biCompression == BI_BITFIELDS;
            return 0xFF000000u | (Channel(v, bMasks ? m_ds.dsBitfields[0] : 0x7C00) << 16) |
                   (Channel(v, bMasks ? m_ds.dsBitfields[1] : 0x03E0) << 8) |
                   Channel(v, bMasks ? m_ds.dsBitfields[2] : 0x001F);
        }
        case 24:
            return 0xFF000000u | (pRow[3 * x + 2] << 16) | (pRow[3 * x + 1] << 8) | pRow[3 * x];
        default:
            return (static_cast<uint32_t>(pRow[4 * x + 3]) << 24) | (pRow[4 * x + 2] << 16) | (pRow[4 * x + 1] << 8) |
                   pRow[4 * x];
        }
    }
    // Every byte of every row past the bytes that hold pixels is 0.
    bool PaddingIsZero() const
    {
        const int cbPixels = (Width() * BitCount() + 7) / 8;
        for (int y = 0; y < Height(); ++y)
            for (int i = cbPixels; i < Stride(); ++i)
                if (Row(y)[i] != 0)
                    return false;
        return true;
    }

private:
    // The 4 to 8 bits of v under a contiguous mask, widened to 8 by
    // repeating their top bits, as GDI widens them.
    static uint32_t Channel(unsigned v, DWORD dwMask)
    {
        if (!dwMask)
            return 0;
        int nShift = 0, nBits = 0;
        while (!((dwMask >> nShift) & 1))
            ++nShift;
        while ((dwMask >> (nShift + nBits)) & 1)
            ++nBits;
        const uint32_t n = ((v & dwMask) >> nShift) << (8 - nBits);
        return n | (n >> nBits);
    }

    bool m_bValid;
    DIBSECTION m_ds;
    std::vector<RGBQUAD> m_vecColours;
};

} // namespace DecodeTest
