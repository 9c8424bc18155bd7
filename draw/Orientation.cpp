#include "draw/Orientation.h"

#include <gdiplus.h>

#include <cstring>
#include <memory>
#include <new>

namespace KelDraw
{

namespace
{
const PROPID kOrientationTag = 0x0112;

// Reads within [0, m_cb) only; every read says whether it fitted.
class CByteReader
{
public:
    CByteReader(const BYTE* pData, size_t cb, bool bBigEndian) : m_pData(pData), m_cb(cb), m_bBigEndian(bBigEndian) {}

    bool Word(size_t n, unsigned& nValue) const
    {
        if (n > m_cb || m_cb - n < 2)
            return false;
        nValue = m_bBigEndian ? (m_pData[n] << 8 | m_pData[n + 1]) : (m_pData[n] | m_pData[n + 1] << 8);
        return true;
    }
    bool Dword(size_t n, DWORD& nValue) const
    {
        unsigned nFirst = 0, nSecond = 0;
        if (!Word(n, nFirst) || !Word(n + 2, nSecond))
            return false;
        nValue = m_bBigEndian ? (static_cast<DWORD>(nFirst) << 16 | nSecond) : (static_cast<DWORD>(nSecond) << 16 | nFirst);
        return true;
    }

private:
    const BYTE* m_pData;
    size_t m_cb;
    bool m_bBigEndian;
};

// The tag in a TIFF structure's first directory (a TIFF file, or the body of
// a JPEG's Exif block), or 0.
int ReadTiffOrientation(const BYTE* pTiff, size_t cbTiff)
{
    if (cbTiff < 8)
        return 0;
    bool bBigEndian = false;
    if (std::memcmp(pTiff, "MM\0*", 4) == 0)
        bBigEndian = true;
    else if (std::memcmp(pTiff, "II*\0", 4) != 0)
        return 0;
    const CByteReader reader(pTiff, cbTiff, bBigEndian);
    DWORD nDirectory = 0;
    unsigned nEntries = 0;
    if (!reader.Dword(4, nDirectory) || !reader.Word(nDirectory, nEntries))
        return 0;
    // Entries of 12 bytes follow the count; a count past the end stops the walk there.
    for (unsigned i = 0; i < nEntries; ++i)
    {
        const size_t nEntry = static_cast<size_t>(nDirectory) + 2 + 12 * static_cast<size_t>(i);
        unsigned nTag = 0, nType = 0;
        DWORD nCount = 0;
        unsigned nValue = 0;
        if (!reader.Word(nEntry, nTag) || !reader.Word(nEntry + 2, nType) || !reader.Dword(nEntry + 4, nCount) ||
            !reader.Word(nEntry + 8, nValue))
            return 0;
        if (nTag == kOrientationTag)
        {
            const int kShort = 3;
            return nType == kShort && nCount == 1 && nValue >= 1 && nValue <= 8 ? static_cast<int>(nValue) : 0;
        }
    }
    return 0;
}

// The tag in a JPEG's Exif APP1 block before the picture data, or 0.
int ReadJpegOrientation(const BYTE* pFile, size_t cbFile)
{
    const CByteReader reader(pFile, cbFile, true);
    size_t n = 2;
    while (n + 4 <= cbFile && pFile[n] == 0xFF)
    {
        const BYTE nMarker = pFile[n + 1];
        if (nMarker == 0xFF) // fill byte
        {
            ++n;
            continue;
        }
        // The picture data or its end: no Exif block comes after.
        if (nMarker == 0xDA || nMarker == 0xD9)
            return 0;
        unsigned cbSegment = 0;
        if (!reader.Word(n + 2, cbSegment) || cbSegment < 2 || cbSegment > cbFile - n - 2)
            return 0;
        static const BYTE s_exif[] = {'E', 'x', 'i', 'f', 0, 0};
        const BYTE* pBody = pFile + n + 4;
        const size_t cbBody = cbSegment - 2;
        if (nMarker == 0xE1 && cbBody >= sizeof(s_exif) && std::memcmp(pBody, s_exif, sizeof(s_exif)) == 0)
            return ReadTiffOrientation(pBody + sizeof(s_exif), cbBody - sizeof(s_exif));
        n += 2 + cbSegment;
    }
    return 0;
}

// The decoder's own reading of the tag, or 0. fnSize and fnItem ask the
// picture for the item's size and the item, as GDI+ does.
template <class TSize, class TItem>
int PropertyOrientation(TSize fnSize, TItem fnItem)
{
    using namespace Gdiplus;
    UINT cbItem = 0;
    if (fnSize(&cbItem) != Ok || cbItem < sizeof(PropertyItem))
        return 0;
    std::unique_ptr<BYTE[]> pBuffer(new (std::nothrow) BYTE[cbItem]);
    if (!pBuffer)
        return 0;
    auto* pItem = reinterpret_cast<PropertyItem*>(pBuffer.get());
    if (fnItem(cbItem, pItem) != Ok || pItem->type != PropertyTagTypeShort || pItem->length < sizeof(USHORT) ||
        !pItem->value)
        return 0;
    USHORT nValue = 0;
    std::memcpy(&nValue, pItem->value, sizeof(nValue));
    return nValue >= 1 && nValue <= 8 ? nValue : 0;
}

// What turns the stored pixels upright, for tags 1 to 8: a clockwise turn,
// then a mirror image left to right. The two go as separate calls, since
// platforms disagree on the order within one combined turn-and-flip.
struct STurn
{
    Gdiplus::RotateFlipType nTurn;
    bool bMirror;
};

const STurn* TurnFor(int nOrientation)
{
    using namespace Gdiplus;
    static const STurn s_turns[] = {
        {RotateNoneFlipNone, false}, {RotateNoneFlipNone, true}, {Rotate180FlipNone, false},
        {Rotate180FlipNone, true},   {Rotate90FlipNone, true},   {Rotate90FlipNone, false},
        {Rotate270FlipNone, true},   {Rotate270FlipNone, false},
    };
    return nOrientation > 1 && nOrientation <= 8 ? &s_turns[nOrientation - 1] : nullptr;
}

// Turns through fnTurn (one RotateFlipType at a time); FALSE when it fails.
template <class TTurn>
BOOL Turn(int nOrientation, TTurn fnTurn)
{
    using namespace Gdiplus;
    const STurn* pTurn = TurnFor(nOrientation);
    if (!pTurn)
        return TRUE;
    if (pTurn->nTurn != RotateNoneFlipNone && fnTurn(pTurn->nTurn) != Ok)
        return FALSE;
    return !pTurn->bMirror || fnTurn(RotateNoneFlipX) == Ok;
}
// The decoder's reading where it has one, else the file's; 1 without either.
int Trusted(int nFromDecoder, const BYTE* pFile, size_t cbFile)
{
    const int nOrientation = nFromDecoder != 0 ? nFromDecoder : ReadOrientationTag(pFile, cbFile);
    return nOrientation == 0 ? 1 : nOrientation;
}
} // namespace

int ReadOrientationTag(const BYTE* pFile, size_t cbFile)
{
    if (!pFile || cbFile < 4)
        return 0;
    if (pFile[0] == 0xFF && pFile[1] == 0xD8)
        return ReadJpegOrientation(pFile, cbFile);
    return ReadTiffOrientation(pFile, cbFile);
}

int PictureOrientation(Gdiplus::GpBitmap* pImage, const BYTE* pFile, size_t cbFile)
{
    using namespace Gdiplus;
    const int nOrientation = PropertyOrientation(
        [pImage](UINT* pcb) { return DllExports::GdipGetPropertyItemSize(pImage, kOrientationTag, pcb); },
        [pImage](UINT cb, PropertyItem* pItem) {
            return DllExports::GdipGetPropertyItem(pImage, kOrientationTag, cb, pItem);
        });
    return Trusted(nOrientation, pFile, cbFile);
}

int PictureOrientation(Gdiplus::Image* pImage, const BYTE* pFile, size_t cbFile)
{
    using namespace Gdiplus;
    const int nOrientation = PropertyOrientation(
        [pImage](UINT* pcb) {
            *pcb = pImage->GetPropertyItemSize(kOrientationTag);
            return *pcb ? Ok : PropertyNotFound;
        },
        [pImage](UINT cb, PropertyItem* pItem) { return pImage->GetPropertyItem(kOrientationTag, cb, pItem); });
    return Trusted(nOrientation, pFile, cbFile);
}

BOOL ApplyOrientation(Gdiplus::GpBitmap* pImage, int nOrientation)
{
    return Turn(nOrientation,
                [pImage](Gdiplus::RotateFlipType nTurn) { return Gdiplus::DllExports::GdipImageRotateFlip(pImage, nTurn); });
}

BOOL ApplyOrientation(Gdiplus::Image* pImage, int nOrientation)
{
    return Turn(nOrientation, [pImage](Gdiplus::RotateFlipType nTurn) { return pImage->RotateFlip(nTurn); });
}

} // namespace KelDraw
