#include "draw/ExifPreview.h"

#include "draw/Orientation.h"
#include "draw/Thumbnail.h"

#include <climits>
#include <cstring>

namespace KelDraw
{

namespace
{
unsigned BigWord(const BYTE* p)
{
    return static_cast<unsigned>(p[0] << 8 | p[1]);
}

// Reads a TIFF structure's numbers in its own byte order, never past its end.
class CTiffReader
{
public:
    CTiffReader(const BYTE* pData, size_t cbData) : m_pData(pData), m_cbData(cbData), m_bLittle(false) {}

    bool Start(size_t* pnFirstIfd)
    {
        if (m_cbData < 8 || !(m_pData[0] == m_pData[1] && (m_pData[0] == 'I' || m_pData[0] == 'M')))
            return false;
        m_bLittle = m_pData[0] == 'I';
        DWORD dwFirst = 0;
        WORD nMagic = 0;
        if (!Word(2, &nMagic) || nMagic != 42 || !Dword(4, &dwFirst))
            return false;
        *pnFirstIfd = dwFirst;
        return true;
    }
    bool Word(size_t n, WORD* p) const
    {
        if (n > m_cbData || m_cbData - n < 2)
            return false;
        const BYTE* b = m_pData + n;
        *p = static_cast<WORD>(m_bLittle ? b[0] | b[1] << 8 : b[0] << 8 | b[1]);
        return true;
    }
    bool Dword(size_t n, DWORD* p) const
    {
        if (n > m_cbData || m_cbData - n < 4)
            return false;
        const BYTE* b = m_pData + n;
        *p = m_bLittle ? static_cast<DWORD>(b[0] | b[1] << 8 | b[2] << 16) | static_cast<DWORD>(b[3]) << 24
                       : static_cast<DWORD>(b[0]) << 24 | static_cast<DWORD>(b[1] << 16 | b[2] << 8 | b[3]);
        return true;
    }
    // A directory's entry count, checked to fit; its next directory's offset.
    bool Directory(size_t nIfd, WORD* pnCount, DWORD* pdwNext) const
    {
        if (!Word(nIfd, pnCount))
            return false;
        const size_t nEnd = nIfd + 2 + static_cast<size_t>(*pnCount) * 12;
        return Dword(nEnd, pdwNext);
    }
    // A SHORT or LONG entry's one value.
    bool Value(size_t nEntry, DWORD* p) const
    {
        WORD nType = 0;
        DWORD dwCount = 0;
        if (!Word(nEntry + 2, &nType) || !Dword(nEntry + 4, &dwCount) || dwCount != 1)
            return false;
        if (nType == 3)
        {
            WORD n = 0;
            if (!Word(nEntry + 8, &n))
                return false;
            *p = n;
            return true;
        }
        return nType == 4 && Dword(nEntry + 8, p);
    }

private:
    const BYTE* m_pData;
    size_t m_cbData;
    bool m_bLittle;
};

// The Exif block's TIFF structure inside a JPEG, before the picture data.
bool FindExifTiff(const BYTE* pData, size_t cbData, const BYTE** ppTiff, size_t* pcbTiff)
{
    for (size_t n = 2; n + 4 <= cbData && pData[n] == 0xFF;)
    {
        const BYTE nMarker = pData[n + 1];
        if (nMarker == 0xFF)
        {
            ++n;
            continue;
        }
        if (nMarker == 0xDA || nMarker == 0xD9)
            return false;
        const size_t cbSegment = BigWord(pData + n + 2);
        if (cbSegment < 2 || cbSegment > cbData - n - 2)
            return false;
        if (nMarker == 0xE1 && cbSegment >= 8 && std::memcmp(pData + n + 4, "Exif\0\0", 6) == 0)
        {
            *ppTiff = pData + n + 10;
            *pcbTiff = cbSegment - 8;
            return true;
        }
        n += 2 + cbSegment;
    }
    return false;
}

// The offset and size IFD1 gives for its JPEG data, inside the TIFF structure.
bool FindIfd1Jpeg(const BYTE* pTiff, size_t cbTiff, size_t* pnOffset, size_t* pcbSize)
{
    CTiffReader reader(pTiff, cbTiff);
    size_t nIfd0 = 0;
    WORD nEntries = 0;
    DWORD dwIfd1 = 0, dwNext = 0;
    if (!reader.Start(&nIfd0) || !reader.Directory(nIfd0, &nEntries, &dwIfd1) || dwIfd1 == 0 ||
        !reader.Directory(dwIfd1, &nEntries, &dwNext))
        return false;
    DWORD dwOffset = 0, dwSize = 0;
    bool bOffset = false, bSize = false;
    for (WORD i = 0; i < nEntries; ++i)
    {
        const size_t nEntry = dwIfd1 + 2 + static_cast<size_t>(i) * 12;
        WORD nTag = 0;
        if (!reader.Word(nEntry, &nTag))
            return false;
        if (nTag == 0x0201)
            bOffset = reader.Value(nEntry, &dwOffset);
        else if (nTag == 0x0202)
            bSize = reader.Value(nEntry, &dwSize);
    }
    if (!bOffset || !bSize || dwSize == 0 || dwOffset > cbTiff || dwSize > cbTiff - dwOffset)
        return false;
    *pnOffset = dwOffset;
    *pcbSize = dwSize;
    return true;
}
} // namespace

bool ReadJpegFrame(const BYTE* pData, size_t cbData, UINT* pcx, UINT* pcy)
{
    if (!pData || cbData < 4 || pData[0] != 0xFF || pData[1] != 0xD8)
        return false;
    BYTE ids[4] = {};
    int nComponents = 0;
    for (size_t n = 2; n + 4 <= cbData;)
    {
        if (pData[n] != 0xFF)
            return false;
        const BYTE nMarker = pData[n + 1];
        if (nMarker == 0xFF) // fill byte
        {
            ++n;
            continue;
        }
        // No second start, end, restart or bare marker before the picture data.
        if (nMarker == 0xD8 || nMarker == 0xD9 || nMarker == 0x01 || nMarker == 0x00 ||
            (nMarker >= 0xD0 && nMarker <= 0xD7))
            return false;
        const size_t cbSegment = BigWord(pData + n + 2);
        if (cbSegment < 2 || cbSegment > cbData - n - 2)
            return false;
        const BYTE* pSegment = pData + n + 4;
        const bool bFrame = nMarker >= 0xC0 && nMarker <= 0xCF && nMarker != 0xC4 && nMarker != 0xC8 &&
                            nMarker != 0xCC;
        if (bFrame)
        {
            // One frame only, and of the Huffman kinds every decoder reads.
            if (nComponents != 0 || nMarker > 0xC2 || cbSegment < 8)
                return false;
            const UINT cy = BigWord(pSegment + 1), cx = BigWord(pSegment + 3);
            nComponents = pSegment[5];
            if (pSegment[0] != 8 || cx == 0 || cy == 0 || nComponents < 1 || nComponents > 4 ||
                cbSegment != 8 + 3 * static_cast<size_t>(nComponents) ||
                static_cast<ULONGLONG>(cx) * cy * 4 > INT_MAX)
                return false;
            for (int i = 0; i < nComponents; ++i)
            {
                const BYTE* pComponent = pSegment + 6 + 3 * i;
                const int h = pComponent[1] >> 4, v = pComponent[1] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4 || pComponent[2] > 3)
                    return false;
                ids[i] = pComponent[0];
            }
            *pcx = cx;
            *pcy = cy;
        }
        else if (nMarker == 0xDA)
        {
            if (nComponents == 0 || cbSegment < 6)
                return false;
            const int nScan = pSegment[0];
            if (nScan < 1 || nScan > nComponents || cbSegment != 6 + 2 * static_cast<size_t>(nScan))
                return false;
            for (int i = 0; i < nScan; ++i)
                if (std::memchr(ids, pSegment[1 + 2 * i], static_cast<size_t>(nComponents)) == nullptr)
                    return false;
            // Some picture data must follow.
            return n + 2 + cbSegment < cbData;
        }
        n += 2 + cbSegment;
    }
    return false;
}

bool FindExifPreview(const BYTE* pData, size_t cbData, int cxBox, int cyBox, SExifPreview* pPreview)
{
    UINT cx = 0, cy = 0;
    const BYTE* pTiff = nullptr;
    size_t cbTiff = 0, nOffset = 0, cbSize = 0;
    if (!ReadJpegFrame(pData, cbData, &cx, &cy) || !FindExifTiff(pData, cbData, &pTiff, &cbTiff) ||
        !FindIfd1Jpeg(pTiff, cbTiff, &nOffset, &cbSize))
        return false;
    const BYTE* pPreviewData = pTiff + nOffset;
    UINT cxPreview = 0, cyPreview = 0;
    if (!ReadJpegFrame(pPreviewData, cbSize, &cxPreview, &cyPreview))
        return false;
    // The same aspect: a preview with bars (a wide photo in a 4:3 preview)
    // would show them.
    const double dAspect = static_cast<double>(cx) / cy;
    const double dPreviewAspect = static_cast<double>(cxPreview) / cyPreview;
    if (dPreviewAspect < dAspect * 0.98 || dPreviewAspect > dAspect * 1.02)
        return false;
    // Both as stored: turned, both turn alike. The thumbnail is never made
    // from fewer pixels than it shows.
    const int nOrientation = ReadOrientationTag(pData, cbData);
    const bool bSwap = nOrientation >= 5 && nOrientation <= 8;
    const UINT cxTurned = bSwap ? cy : cx;
    const UINT cyTurned = bSwap ? cx : cy;
    const SIZE sizeThumb = FitThumbnail(SIZE{static_cast<LONG>(cxTurned), static_cast<LONG>(cyTurned)},
                                        SIZE{cxBox, cyBox});
    const LONG cxPreviewTurned = static_cast<LONG>(bSwap ? cyPreview : cxPreview);
    const LONG cyPreviewTurned = static_cast<LONG>(bSwap ? cxPreview : cyPreview);
    if (cxPreviewTurned < sizeThumb.cx || cyPreviewTurned < sizeThumb.cy)
        return false;
    pPreview->nOffset = static_cast<size_t>(pPreviewData - pData);
    pPreview->cbSize = cbSize;
    pPreview->cx = cxPreview;
    pPreview->cy = cyPreview;
    return true;
}

} // namespace KelDraw
