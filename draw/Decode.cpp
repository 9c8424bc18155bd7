#include "draw/Decode.h"

#include "draw/DibPicture.h"
#include "draw/ExifPreview.h"
#include "draw/Orientation.h"
#include "draw/Picture.h"
#include "draw/RoMemDC.h"
#include "draw/Scale.h"
#include "draw/Thumbnail.h"
#include "draw/WicDecode.h"
#include "framework/ComPtr.h"
#include "framework/GdiObject.h"
#include "framework/WinApp.h"

#include <gdiplus.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace KelDraw
{

namespace
{
using namespace Gdiplus;

struct SImageDisposer
{
    void operator()(GpImage* pImage) const { DllExports::GdipDisposeImage(pImage); }
};
typedef std::unique_ptr<GpBitmap, SImageDisposer> CImageHolder;

struct SGraphicsDeleter
{
    void operator()(GpGraphics* pGraphics) const { DllExports::GdipDeleteGraphics(pGraphics); }
};
typedef std::unique_ptr<GpGraphics, SGraphicsDeleter> CGraphicsHolder;

struct SHandleCloser
{
    typedef HANDLE pointer;
    void operator()(HANDLE hHandle) const { ::CloseHandle(hHandle); }
};
typedef std::unique_ptr<void, SHandleCloser> CHandleHolder;

struct SGlobalFreer
{
    typedef HGLOBAL pointer;
    void operator()(HGLOBAL hBlock) const { ::GlobalFree(hBlock); }
};
typedef std::unique_ptr<void, SGlobalFreer> CGlobalHolder;

// A DIB header followed by a full 256-entry colour table, or by the three
// channel masks of a BI_BITFIELDS DIB.
struct SDibInfo
{
    BITMAPINFOHEADER bmiHeader;
    union
    {
        RGBQUAD bmiColors[256];
        DWORD dwMasks[3];
    };
};

// The DIB's bit depth and the format its pixels are produced in. GDI holds
// its own formats as they are; alpha goes to straight ARGB, the rest to RGB.
void ChooseDibFormat(PixelFormat nSource, WORD& nBitCount, PixelFormat& nTarget)
{
    nBitCount = 32;
    nTarget = PixelFormat32bppRGB;
    if (nSource & PixelFormatGDI)
    {
        nBitCount = static_cast<WORD>((nSource >> 8) & 0xFF);
        nTarget = nSource;
    }
    if (nSource & PixelFormatAlpha)
    {
        nBitCount = 32;
        nTarget = PixelFormat32bppARGB;
    }
}

// The palette's colours over a zeroed table; palette alpha is dropped.
BOOL ReadPalette(GpBitmap* pImage, RGBQUAD* pColors)
{
    INT cbPalette = 0;
    if (DllExports::GdipGetImagePaletteSize(pImage, &cbPalette) != Ok ||
        cbPalette < static_cast<INT>(sizeof(ColorPalette)))
        return FALSE;
    std::unique_ptr<BYTE[]> pBuffer(new (std::nothrow) BYTE[cbPalette]);
    if (!pBuffer)
        return FALSE;
    auto* pPalette = reinterpret_cast<ColorPalette*>(pBuffer.get());
    if (DllExports::GdipGetImagePalette(pImage, pPalette, cbPalette) != Ok)
        return FALSE;
    const UINT nMaxCount = 1 + (cbPalette - sizeof(ColorPalette)) / sizeof(ARGB);
    if (pPalette->Count < 1 || pPalette->Count > 256 || pPalette->Count > nMaxCount)
        return FALSE;
    for (UINT i = 0; i < pPalette->Count; ++i)
    {
        const ARGB argb = pPalette->Entries[i];
        pColors[i].rgbRed = static_cast<BYTE>(argb >> 16);
        pColors[i].rgbGreen = static_cast<BYTE>(argb >> 8);
        pColors[i].rgbBlue = static_cast<BYTE>(argb);
        pColors[i].rgbReserved = 0;
    }
    return TRUE;
}

// Rows of the picture, top first, into the bottom-up DIB, unchanged.
BOOL CopyRows(GpBitmap* pImage, PixelFormat nFormat, INT cx, INT cy, WORD nBitCount, BYTE* pBits,
              LONG_PTR cbStride)
{
    const GpRect rc(0, 0, cx, cy);
    BitmapData data = {};
    if (DllExports::GdipBitmapLockBits(pImage, &rc, ImageLockModeRead, nFormat, &data) != Ok)
        return FALSE;
    const size_t cbRow = (static_cast<size_t>(cx) * nBitCount + 7) / 8;
    const BYTE* pSource = static_cast<const BYTE*>(data.Scan0);
    for (INT y = 0; y < cy; ++y)
        std::memcpy(pBits + (cy - 1 - y) * cbStride, pSource + static_cast<LONG_PTR>(y) * data.Stride, cbRow);
    DllExports::GdipBitmapUnlockBits(pImage, &data);
    return TRUE;
}

// Lets GDI+ convert by drawing onto the zeroed DIB: alpha comes out straight.
// The whole rectangle is given, as drawing at a point alone would scale the
// picture by its resolution.
BOOL DrawRows(GpBitmap* pImage, PixelFormat nTarget, INT cx, INT cy, BYTE* pBits, LONG_PTR cbStride)
{
    GpBitmap* pRaw = nullptr;
    DllExports::GdipCreateBitmapFromScan0(cx, cy, static_cast<INT>(-cbStride), nTarget,
                                          pBits + (cy - 1) * cbStride, &pRaw);
    CImageHolder pWrapper(pRaw);
    if (!pWrapper)
        return FALSE;
    GpGraphics* pRawGraphics = nullptr;
    DllExports::GdipGetImageGraphicsContext(pWrapper.get(), &pRawGraphics);
    // Declared after the wrapper, so it goes first.
    CGraphicsHolder pGraphics(pRawGraphics);
    return pGraphics && DllExports::GdipDrawImageRectI(pGraphics.get(), pImage, 0, 0, cx, cy) == Ok;
}

// The pixel size a JPEG, BMP or PNG declares in its header, of which pHead
// holds the start; false for other files and when the header does not say.
bool ReadDeclaredSize(const BYTE* pHead, size_t cbHead, ULONGLONG& cx, ULONGLONG& cy)
{
    auto fnWord = [pHead](size_t n) { return static_cast<ULONGLONG>(pHead[n] | pHead[n + 1] << 8); };
    auto fnDword = [pHead](size_t n) {
        return static_cast<DWORD>(pHead[n] | pHead[n + 1] << 8 | pHead[n + 2] << 16) |
               static_cast<DWORD>(pHead[n + 3]) << 24;
    };
    // A signed size, as its magnitude.
    auto fnLong = [&fnDword](size_t n) {
        const LONGLONG nValue = static_cast<LONG>(fnDword(n));
        return static_cast<ULONGLONG>(nValue < 0 ? -nValue : nValue);
    };
    if (cbHead >= 26 && pHead[0] == 'B' && pHead[1] == 'M')
    {
        const bool bCore = fnDword(14) == 12;
        cx = bCore ? fnWord(18) : fnLong(18);
        cy = bCore ? fnWord(20) : fnLong(22);
        return true;
    }
    static const BYTE s_png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (cbHead >= 24 && std::memcmp(pHead, s_png, sizeof(s_png)) == 0)
    {
        auto fnBigDword = [pHead](size_t n) {
            return static_cast<ULONGLONG>(pHead[n]) << 24 | static_cast<ULONGLONG>(pHead[n + 1]) << 16 |
                   static_cast<ULONGLONG>(pHead[n + 2]) << 8 | pHead[n + 3];
        };
        cx = fnBigDword(16);
        cy = fnBigDword(20);
        return true;
    }
    if (cbHead < 4 || pHead[0] != 0xFF || pHead[1] != 0xD8)
        return false;
    for (size_t n = 2; n + 9 <= cbHead && pHead[n] == 0xFF;)
    {
        const BYTE nMarker = pHead[n + 1];
        if (nMarker == 0xFF) // fill byte
        {
            ++n;
            continue;
        }
        if (nMarker == 0xDA || nMarker == 0xD9)
            return false;
        if (nMarker >= 0xC0 && nMarker <= 0xCF && nMarker != 0xC4 && nMarker != 0xC8 && nMarker != 0xCC)
        {
            cy = static_cast<ULONGLONG>(pHead[n + 5] << 8 | pHead[n + 6]);
            cx = static_cast<ULONGLONG>(pHead[n + 7] << 8 | pHead[n + 8]);
            return true;
        }
        n += 2 + (pHead[n + 2] << 8 | pHead[n + 3]);
    }
    return false;
}

// Whether cx x cy pixels at 4 bytes each take more than cbMax bytes, without
// the product wrapping: a header may declare 2^31 x 2^31.
bool PixelBytesOver(ULONGLONG cx, ULONGLONG cy, ULONGLONG cbMax)
{
    const ULONGLONG nMaxPixels = cbMax / 4;
    return cx != 0 && cy != 0 && (cx > nMaxPixels || cy > nMaxPixels / cx);
}

// Whether a file, of which pHead holds the start, is one that Wine's decoders
// must never see: a JPEG, BMP or PNG declaring 2 GB of pixels or more at 4
// bytes each, which GDI could not hold anyway (the JPEG and BMP decoders size
// their buffers in 32 bits and overrun them; the 64-bit PNG decoder leaks on
// each try), or a BMP whose pixels would start past its end (the decoder then
// keeps its stream for good).
bool IsHostileHeader(const BYTE* pHead, size_t cbHead, ULONGLONG cbFile)
{
    ULONGLONG cx = 0, cy = 0;
    if (!ReadDeclaredSize(pHead, cbHead, cx, cy))
        return false;
    if (cbHead >= 26 && pHead[0] == 'B' && pHead[1] == 'M')
    {
        const DWORD dwOffset = static_cast<DWORD>(pHead[10] | pHead[11] << 8 | pHead[12] << 16) |
                               static_cast<DWORD>(pHead[13]) << 24;
        if (dwOffset >= cbFile)
            return true;
    }
    return PixelBytesOver(cx, cy, INT_MAX);
}

// The bytes of one file in memory, shared by a stream and its clones, and
// the flag that stops their reads when set (none: they never stop).
struct SFileBytes
{
    std::unique_ptr<BYTE[]> pData;
    ULONGLONG cbSize;
    const std::atomic<bool>* pCancel;

    bool Cancelled() const { return pCancel && pCancel->load(std::memory_order_relaxed); }
};

// Decodes started on this thread.
thread_local unsigned t_nDecodes = 0;

// A read-only stream over a whole file read into memory, so that no decoder
// ever holds the file itself: Wine's BMP decoder keeps the stream of a header
// it rejects for good. Reads stop at the end, whatever position a damaged
// file seeks to. Once the picture made from it is done with, the bytes can be
// dropped, so that a stream a decoder kept costs a few bytes, not the file.
// Once the cancel flag is set, reads fail, and a decode from the stream ends
// soon after.
class CFileStream final : public IStream
{
public:
    // The whole file and its stamp, or null when it cannot be opened, is
    // empty, does not fit in memory, is not read in full or the reading is
    // cancelled. The file is closed on return.
    static CFileStream* Read(const wchar_t* pszPath, const std::atomic<bool>* pCancel, SFileStamp* pStamp)
    {
        // Others may write, rename or delete the file meanwhile: the read
        // ahead must not get in their way. A change shows in the stamp.
        HANDLE hRaw = ::CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hRaw == INVALID_HANDLE_VALUE)
            return nullptr;
        CHandleHolder hFile(hRaw);
        SFileStamp before;
        if (!ReadHandleStamp(hFile.get(), &before) || before.cbSize == 0 || before.cbSize >= INVALID_FILE_SIZE)
            return nullptr;
        const DWORD dwSize = static_cast<DWORD>(before.cbSize);
        std::shared_ptr<SFileBytes> pBytes(new (std::nothrow) SFileBytes{nullptr, dwSize, pCancel});
        if (!pBytes)
            return nullptr;
        pBytes->pData.reset(new (std::nothrow) BYTE[dwSize]);
        if (!pBytes->pData)
            return nullptr;
        // In pieces, so that a cancelled read of a large file stops early.
        const DWORD cbPiece = 4 << 20;
        for (DWORD dwDone = 0; dwDone < dwSize;)
        {
            const DWORD cbWant = std::min(cbPiece, dwSize - dwDone);
            DWORD dwRead = 0;
            if (pBytes->Cancelled() ||
                !::ReadFile(hFile.get(), pBytes->pData.get() + dwDone, cbWant, &dwRead, nullptr) ||
                dwRead != cbWant)
                return nullptr;
            dwDone += dwRead;
        }
        // The stamp holds for the bytes read only if the file did not change
        // while they were read.
        SFileStamp after;
        if (!ReadHandleStamp(hFile.get(), &after) || after != before)
            return nullptr;
        *pStamp = before;
        return new (std::nothrow) CFileStream(std::move(pBytes));
    }

    const BYTE* Data() const { return m_pBytes->pData.get(); }
    ULONGLONG Size() const { return m_pBytes->cbSize; }
    // Frees the bytes under this stream and all its clones; reads fail after.
    void DropBytes() { m_pBytes->pData.reset(); }

    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream)
        {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_nRef)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG nRef = ::InterlockedDecrement(&m_nRef);
        if (nRef == 0)
            delete this;
        return static_cast<ULONG>(nRef);
    }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead)
            *pcbRead = 0;
        if (!Data() || m_pBytes->Cancelled())
            return STG_E_READFAULT;
        if (!pv)
            return STG_E_INVALIDPOINTER;
        const ULONGLONG cbLeft = m_nPos < Size() ? Size() - m_nPos : 0;
        if (cb > cbLeft)
            cb = static_cast<ULONG>(cbLeft);
        if (cb == 0)
            return S_FALSE;
        std::memcpy(pv, Data() + m_nPos, cb);
        m_nPos += cb;
        if (pcbRead)
            *pcbRead = cb;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD dwOrigin, ULARGE_INTEGER* pNewPos) override
    {
        LONGLONG nBase = 0;
        if (dwOrigin == STREAM_SEEK_CUR)
            nBase = static_cast<LONGLONG>(m_nPos);
        else if (dwOrigin == STREAM_SEEK_END)
            nBase = static_cast<LONGLONG>(Size());
        else if (dwOrigin != STREAM_SEEK_SET)
            return STG_E_INVALIDFUNCTION;
        // Positions past the end are allowed, as with any stream; reads there give nothing.
        if (move.QuadPart < -nBase)
            return STG_E_INVALIDFUNCTION;
        m_nPos = static_cast<ULONGLONG>(nBase + move.QuadPart);
        if (pNewPos)
            pNewPos->QuadPart = m_nPos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pStat, DWORD) override
    {
        if (!pStat)
            return STG_E_INVALIDPOINTER;
        *pStat = STATSTG();
        pStat->type = STGTY_STREAM;
        pStat->cbSize.QuadPart = Size();
        pStat->grfMode = STGM_READ;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** ppStream) override
    {
        if (!ppStream)
            return E_POINTER;
        auto* pClone = new (std::nothrow) CFileStream(m_pBytes);
        if (pClone)
            pClone->m_nPos = m_nPos;
        *ppStream = pClone;
        return pClone ? S_OK : E_OUTOFMEMORY;
    }

private:
    explicit CFileStream(std::shared_ptr<SFileBytes> pBytes) : m_nRef(1), m_pBytes(std::move(pBytes)), m_nPos(0) {}
    ~CFileStream() = default;

    LONG m_nRef;
    std::shared_ptr<SFileBytes> m_pBytes;
    ULONGLONG m_nPos;
};

// Drops the file's bytes when it goes: declared before the picture made from
// the stream, it runs after the picture is disposed.
struct SBytesDropper
{
    CFileStream* pStream;
    ~SBytesDropper()
    {
        if (pStream)
            pStream->DropBytes();
    }
};

// The file as a stream, or null when it cannot be read or is refused for its
// header.
CFileStream* OpenPictureFile(const wchar_t* pszPath, const std::atomic<bool>* pCancel = nullptr,
                             SFileStamp* pStamp = nullptr)
{
    SFileStamp stamp;
    CFileStream* pStream = CFileStream::Read(pszPath, pCancel, pStamp ? pStamp : &stamp);
    if (pStream && IsHostileHeader(pStream->Data(), static_cast<size_t>(pStream->Size()), pStream->Size()))
    {
        pStream->Release();
        return nullptr;
    }
    return pStream;
}

// GDI+'s picture of the file's bytes, turned upright as its orientation tag
// says; null when it is none or cannot be turned.
CImageHolder DecodeStream(CFileStream* pFile)
{
    GpBitmap* pRaw = nullptr;
    const Status status = DllExports::GdipCreateBitmapFromStream(pFile, &pRaw);
    CImageHolder pImage(pRaw);
    if (status != Ok || !pImage)
        return CImageHolder();
    const int nOrientation = PictureOrientation(pImage.get(), pFile->Data(), static_cast<size_t>(pFile->Size()));
    if (!ApplyOrientation(pImage.get(), nOrientation))
        return CImageHolder();
    return pImage;
}

// Whether GDI+ reads this content better than the imaging component's
// frame alone: a GIF or an icon, which GDI+ composes on its own.
bool IsGdiplusOwn(const BYTE* pHead, size_t cbHead)
{
    if (cbHead >= 4 && std::memcmp(pHead, "GIF8", 4) == 0)
        return true;
    return cbHead >= 4 && pHead[0] == 0 && pHead[1] == 0 && (pHead[2] == 1 || pHead[2] == 2) && pHead[3] == 0;
}

// The file's first frame as the imaging component reads it; OPEN_NO_CODEC
// where GDI+ is to read it.
CWicFrame::EOpen OpenFrame(const CImagingScope& scope, CFileStream* pFile, CWicFrame& frame,
                           const std::atomic<bool>* pCancel = nullptr)
{
    const size_t cbFile = static_cast<size_t>(pFile->Size());
    if (IsGdiplusOwn(pFile->Data(), cbFile))
        return CWicFrame::OPEN_NO_CODEC;
    return frame.Open(scope.Factory(), pFile, pFile->Data(), cbFile, pCancel);
}

// A stored orientation from the file's bytes, 1 without one.
int FileOrientation(CFileStream* pFile)
{
    const int nOrientation = ReadOrientationTag(pFile->Data(), static_cast<size_t>(pFile->Size()));
    return nOrientation == 0 ? 1 : nOrientation;
}
} // namespace

HBITMAP DecodeFileToDib(const wchar_t* pszPath)
{
    CComPtr<IStream> pStream;
    CFileStream* pFile = OpenPictureFile(pszPath);
    pStream.Attach(pFile);
    if (!pFile)
        return nullptr;
    const SBytesDropper dropper{pFile};
    ++t_nDecodes;
    {
        const CImagingScope scope;
        CWicFrame frame;
        switch (OpenFrame(scope, pFile, frame))
        {
        case CWicFrame::OPEN_FAILED:
            return nullptr;
        case CWicFrame::OPEN_DONE:
        {
            HBITMAP hDib = nullptr;
            const CWicFrame::EDib nDib = frame.CreateDib(FileOrientation(pFile), &hDib);
            if (nDib != CWicFrame::DIB_NOT_MINE)
                return hDib;
            break;
        }
        case CWicFrame::OPEN_NO_CODEC:
            break;
        }
    }
    const CImageHolder pImage = DecodeStream(pFile);
    return pImage ? CreateDibFromBitmap(pImage.get()) : nullptr;
}

namespace
{
// The DIB DecodeFileToDib makes of a picture: its header, with colour table
// or masks, and the formats its pixels come in and go out in; false when the
// picture makes none.
bool DescribeDib(GpBitmap* pImage, SDibInfo& info, PixelFormat& nSource, PixelFormat& nTarget)
{
    nSource = 0;
    UINT cx = 0, cy = 0;
    DllExports::GdipGetImagePixelFormat(pImage, &nSource);
    DllExports::GdipGetImageWidth(pImage, &cx);
    DllExports::GdipGetImageHeight(pImage, &cy);
    WORD nBitCount = 32;
    ChooseDibFormat(nSource, nBitCount, nTarget);
    // GDI keeps a DIB's size in 32 bits, and no DIB of 2 GB or more fits a
    // 32-bit process: refusing it on every architecture keeps every size
    // below in range.
    const unsigned long long cbStride64 = (static_cast<unsigned long long>(cx) * nBitCount + 31) / 32 * 4;
    if (cx == 0 || cy == 0 || cx > INT_MAX || cbStride64 * cy > INT_MAX)
        return false;

    info = SDibInfo();
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(cx);
    info.bmiHeader.biHeight = static_cast<LONG>(cy);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = nBitCount;
    info.bmiHeader.biCompression = BI_RGB;
    // A 16-bit BI_RGB DIB is 5-5-5: 5-6-5 needs its masks spelt out.
    if (nTarget == PixelFormat16bppRGB565)
    {
        info.bmiHeader.biCompression = BI_BITFIELDS;
        info.dwMasks[0] = 0xF800;
        info.dwMasks[1] = 0x07E0;
        info.dwMasks[2] = 0x001F;
    }
    return !(nSource & PixelFormatIndexed) || ReadPalette(pImage, info.bmiColors);
}

// GDI+ converts the picture straight into rows, premultiplying on the way.
bool CopyPremultiplied(GpBitmap* pImage, const SPixelRows& rows)
{
    const GpRect rc(0, 0, rows.cx, rows.cy);
    BitmapData data = {};
    data.Width = static_cast<UINT>(rows.cx);
    data.Height = static_cast<UINT>(rows.cy);
    data.Stride = static_cast<INT>(rows.nStride);
    data.PixelFormat = PixelFormat32bppPARGB;
    data.Scan0 = rows.pTop;
    if (DllExports::GdipBitmapLockBits(pImage, &rc, ImageLockModeRead | ImageLockModeUserInputBuf,
                                       PixelFormat32bppPARGB, &data) != Ok)
        return false;
    DllExports::GdipBitmapUnlockBits(pImage, &data);
    return true;
}
} // namespace

HBITMAP CreateDibFromBitmap(GpBitmap* pImage)
{
    SDibInfo info;
    PixelFormat nSource = 0, nTarget = 0;
    if (!DescribeDib(pImage, info, nSource, nTarget))
        return nullptr;

    void* pBits = nullptr;
    CBitmap dib;
    if (!dib.Attach(::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pBits,
                                       nullptr, 0)) ||
        !pBits)
        return nullptr;

    const WORD nBitCount = info.bmiHeader.biBitCount;
    const INT nWidth = info.bmiHeader.biWidth;
    const INT nHeight = info.bmiHeader.biHeight;
    const LONG_PTR cbStride = (static_cast<LONG_PTR>(nWidth) * nBitCount + 31) / 32 * 4;
    BYTE* pDibBits = static_cast<BYTE*>(pBits);
    const BOOL bDone = nTarget == nSource
                           ? CopyRows(pImage, nSource, nWidth, nHeight, nBitCount, pDibBits, cbStride)
                           : DrawRows(pImage, nTarget, nWidth, nHeight, pDibBits, cbStride);
    return bDone ? dib.Detach() : nullptr;
}

CDibPicture* LoadDibPicture(const wchar_t* pszPath, const std::atomic<bool>* pCancel, size_t cbMax,
                            IPixelAdmission* pAdmission, CDibPicture* pSpareIn)
{
    std::unique_ptr<CDibPicture> pSpare(pSpareIn);
    auto fnCancelled = [pCancel] { return pCancel && pCancel->load(std::memory_order_relaxed); };
    SFileStamp stamp;
    CComPtr<IStream> pStream;
    CFileStream* pFile = OpenPictureFile(pszPath, pCancel, &stamp);
    pStream.Attach(pFile);
    if (!pFile)
        return nullptr;
    const SBytesDropper dropper{pFile};
    // Refused before the decode where the header tells the size.
    ULONGLONG cxDeclared = 0, cyDeclared = 0;
    if (ReadDeclaredSize(pFile->Data(), static_cast<size_t>(pFile->Size()), cxDeclared, cyDeclared) &&
        (PixelBytesOver(cxDeclared, cyDeclared, cbMax) ||
         (pAdmission && !pAdmission->Admit(static_cast<size_t>(cxDeclared * cyDeclared * 4)))))
        return nullptr;

    ++t_nDecodes;
    {
        const CImagingScope scope;
        CWicFrame frame;
        switch (OpenFrame(scope, pFile, frame, pCancel))
        {
        case CWicFrame::OPEN_FAILED:
            return nullptr;
        case CWicFrame::OPEN_DONE:
        {
            const int nOrientation = FileOrientation(pFile);
            UINT cxTurned = 0, cyTurned = 0;
            OrientedSize(nOrientation, frame.Width(), frame.Height(), &cxTurned, &cyTurned);
            // 4 bytes a pixel, under 2 GB as GDI needs on every architecture.
            const ULONGLONG cbTurned = static_cast<ULONGLONG>(cxTurned) * cyTurned * 4;
            if (fnCancelled() || cbTurned > INT_MAX || cbTurned > cbMax ||
                (pAdmission && !pAdmission->Admit(static_cast<size_t>(cbTurned))))
                return nullptr;
            const int cx = static_cast<int>(cxTurned), cy = static_cast<int>(cyTurned);
            // Memory already touched costs nothing more: a fresh block of a
            // large picture's size costs as much as a good part of its decode.
            if (pSpare && pSpare->GetWidth() == cxTurned && pSpare->GetHeight() == cyTurned)
            {
                ::GdiFlush();
                const SPixelRows rows = {static_cast<BYTE*>(pSpare->Bits()), cx, cy, static_cast<LONG_PTR>(cx) * 4};
                if (!frame.CopyPremultiplied(nOrientation, rows) || fnCancelled())
                    return nullptr;
                pSpare->Restamp(stamp);
                return pSpare.release();
            }
            pSpare.reset();
            void* pBits = nullptr;
            CBitmap dib;
            if (!dib.Attach(CreateTopDownDib(cx, cy, &pBits)))
                return nullptr;
            const SPixelRows rows = {static_cast<BYTE*>(pBits), cx, cy, static_cast<LONG_PTR>(cx) * 4};
            if (!frame.CopyPremultiplied(nOrientation, rows) || fnCancelled())
                return nullptr;
            return CDibPicture::Create(static_cast<HBITMAP>(dib.Detach()), pBits, cx, cy, stamp);
        }
        case CWicFrame::OPEN_NO_CODEC:
            break;
        }
    }
    pSpare.reset();
    const CImageHolder pImage = DecodeStream(pFile);
    SDibInfo info;
    PixelFormat nSource = 0, nTarget = 0;
    // What DecodeFileToDib refuses is no picture here either.
    if (!pImage || fnCancelled() || !DescribeDib(pImage.get(), info, nSource, nTarget))
        return nullptr;
    const INT cx = info.bmiHeader.biWidth;
    const INT cy = info.bmiHeader.biHeight;
    // 4 bytes a pixel, under 2 GB as GDI needs on every architecture.
    const ULONGLONG cbPixels = static_cast<ULONGLONG>(cx) * static_cast<ULONGLONG>(cy) * 4;
    if (cbPixels > INT_MAX || cbPixels > cbMax || (pAdmission && !pAdmission->Admit(static_cast<size_t>(cbPixels))))
        return nullptr;

    void* pBits = nullptr;
    CBitmap dib;
    if (!dib.Attach(CreateTopDownDib(cx, cy, &pBits)))
        return nullptr;
    const SPixelRows rows = {static_cast<BYTE*>(pBits), cx, cy, static_cast<LONG_PTR>(cx) * 4};
    if (!CopyPremultiplied(pImage.get(), rows) || fnCancelled())
        return nullptr;
    return CDibPicture::Create(static_cast<HBITMAP>(dib.Detach()), pBits, cx, cy, stamp);
}

BOOL DecodeFileToThumbnail(const wchar_t* pszPath, int cxBox, int cyBox, HBITMAP* phThumb, bool* pbFromPreview)
{
    *phThumb = nullptr;
    if (pbFromPreview)
        *pbFromPreview = false;
    CComPtr<IStream> pStream;
    CFileStream* pFile = OpenPictureFile(pszPath);
    pStream.Attach(pFile);
    if (!pFile)
        return FALSE;
    const SBytesDropper dropper{pFile};
    const BYTE* pData = pFile->Data();
    const size_t cbFile = static_cast<size_t>(pFile->Size());
    const int nOrientation = FileOrientation(pFile);
    const CImagingScope scope;

    SExifPreview preview;
    UINT cx = 0, cy = 0;
    if (FindExifPreview(pData, cbFile, cxBox, cyBox, &preview) && ReadJpegFrame(pData, cbFile, &cx, &cy))
    {
        UINT cxTurned = 0, cyTurned = 0;
        OrientedSize(nOrientation, cx, cy, &cxTurned, &cyTurned);
        const SIZE sizePicture = {static_cast<LONG>(cxTurned), static_cast<LONG>(cyTurned)};
        *phThumb = ThumbnailFromPreview(scope.Factory(), pData + preview.nOffset, preview.cbSize, preview.cx,
                                        preview.cy, nOrientation, sizePicture, cxBox, cyBox);
        if (*phThumb)
        {
            if (pbFromPreview)
                *pbFromPreview = true;
            return TRUE;
        }
    }

    ++t_nDecodes;
    {
        CWicFrame frame;
        switch (OpenFrame(scope, pFile, frame))
        {
        case CWicFrame::OPEN_FAILED:
            return FALSE;
        case CWicFrame::OPEN_DONE:
        {
            UINT cxTurned = 0, cyTurned = 0;
            OrientedSize(nOrientation, frame.Width(), frame.Height(), &cxTurned, &cyTurned);
            // What DecodeFileToDib refuses is refused here too.
            if (static_cast<ULONGLONG>(cxTurned) * cyTurned * 4 > INT_MAX)
                return FALSE;
            const SIZE sizePicture = {static_cast<LONG>(cxTurned), static_cast<LONG>(cyTurned)};
            return ThumbnailFromFrame(frame, nOrientation, sizePicture, cxBox, cyBox, phThumb);
        }
        case CWicFrame::OPEN_NO_CODEC:
            break;
        }
    }
    // GDI+'s picture, as DecodeFileToDib takes it, premultiplied.
    const CImageHolder pImage = DecodeStream(pFile);
    SDibInfo info;
    PixelFormat nSource = 0, nTarget = 0;
    if (!pImage || !DescribeDib(pImage.get(), info, nSource, nTarget))
        return FALSE;
    const INT cxImage = info.bmiHeader.biWidth, cyImage = info.bmiHeader.biHeight;
    const size_t cbPixels = static_cast<size_t>(cxImage) * static_cast<size_t>(cyImage) * 4;
    std::unique_ptr<BYTE[]> pPixels(new (std::nothrow) BYTE[cbPixels]);
    if (!pPixels)
        return TRUE;
    const SPixelRows rows = {pPixels.get(), cxImage, cyImage, static_cast<LONG_PTR>(cxImage) * 4};
    if (!CopyPremultiplied(pImage.get(), rows))
        return FALSE;
    *phThumb = ThumbnailFromPixels(rows, cxBox, cyBox);
    return TRUE;
}

unsigned DecodesOnThisThread()
{
    return t_nDecodes;
}

Gdiplus::Bitmap* LoadPictureFromFile(const wchar_t* pszPath)
{
    CComPtr<IStream> pStream;
    CFileStream* pFile = OpenPictureFile(pszPath);
    pStream.Attach(pFile);
    if (!pFile)
        return nullptr;
    ++t_nDecodes;
    // The picture keeps the stream; a failed one (0 x 0) has no use for its bytes.
    Gdiplus::Bitmap* pPicture = CreatePictureFromStream(pStream);
    if (!pPicture || pPicture->GetWidth() == 0)
    {
        pFile->DropBytes();
        return pPicture;
    }
    // A photo stands upright, its size the turned size; one that cannot be
    // turned is a failed picture.
    const int nOrientation = PictureOrientation(pPicture, pFile->Data(), static_cast<size_t>(pFile->Size()));
    // Asking for a tag the picture lacks is no fault of the picture's.
    pPicture->GetLastStatus();
    if (!ApplyOrientation(pPicture, nOrientation))
    {
        delete pPicture;
        pFile->DropBytes();
        return CreatePictureFromStream(nullptr);
    }
    return pPicture;
}

Gdiplus::Bitmap* CreatePictureFromStream(IStream* pStream)
{
    return NewPicture(pStream, FALSE);
}

IStream* CreateStreamFromResource(HRSRC hResource, HINSTANCE hInstance)
{
    const DWORD cbResource = ::SizeofResource(hInstance, hResource);
    if (cbResource == 0)
        return nullptr;
    HGLOBAL hResData = ::LoadResource(hInstance, hResource);
    const void* pResData = hResData ? ::LockResource(hResData) : nullptr;
    if (!pResData)
        return nullptr;

    CGlobalHolder hBlock(::GlobalAlloc(GMEM_MOVEABLE, cbResource));
    void* pData = hBlock ? ::GlobalLock(hBlock.get()) : nullptr;
    if (!pData)
        return nullptr;
    std::memcpy(pData, pResData, cbResource);
    ::GlobalUnlock(hBlock.get());

    CComPtr<IStream> pStream;
    const HRESULT hr = ::CreateStreamOnHGlobal(hBlock.get(), TRUE, &pStream);
    if (pStream)
        hBlock.release(); // the stream frees it
    return hr == S_OK ? pStream.Detach() : nullptr;
}

Gdiplus::Bitmap* LoadPngResource(UINT nID)
{
    const HINSTANCE hInstance = AfxGetInstanceHandle();
    CComPtr<IStream> pStream;
    if (HRSRC hResource = ::FindResourceW(hInstance, MAKEINTRESOURCEW(nID), L"PNG"))
        pStream.Attach(CreateStreamFromResource(hResource, hInstance));
    // Without a stream this is a failed picture, as the callers expect.
    return CreatePictureFromStream(pStream);
}

} // namespace KelDraw
