#include "draw/WicDecode.h"

#include "draw/Scale.h"
#include "framework/GdiObject.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace KelDraw
{

namespace
{
thread_local CImagingThread* t_pCurrent = nullptr;

// Premultiplied as GDI+ turns straight alpha into premultiplied, rounded.
inline BYTE Premultiply(unsigned c, unsigned a)
{
    return static_cast<BYTE>((c * a + 127) / 255);
}

// Whether a PNG names a transparent colour (tRNS) before its pixels.
bool PngHasTransparency(const BYTE* pData, size_t cbData)
{
    for (size_t n = 8; n + 8 <= cbData;)
    {
        const size_t cbChunk = static_cast<size_t>(pData[n]) << 24 | static_cast<size_t>(pData[n + 1]) << 16 |
                               static_cast<size_t>(pData[n + 2]) << 8 | pData[n + 3];
        if (std::memcmp(pData + n + 4, "tRNS", 4) == 0)
            return true;
        if (std::memcmp(pData + n + 4, "IDAT", 4) == 0 || cbChunk > cbData - n - 8)
            return false;
        n += 12 + cbChunk;
    }
    return false;
}

// Where the stored pixel (x, y) of a cx x cy picture lands once turned.
inline void Turned(int nOrientation, int x, int y, int cx, int cy, int* ptx, int* pty)
{
    switch (nOrientation)
    {
    case 2: *ptx = cx - 1 - x; *pty = y; break;
    case 3: *ptx = cx - 1 - x; *pty = cy - 1 - y; break;
    case 4: *ptx = x; *pty = cy - 1 - y; break;
    case 5: *ptx = y; *pty = x; break;
    case 6: *ptx = cy - 1 - y; *pty = x; break;
    case 7: *ptx = cy - 1 - y; *pty = cx - 1 - x; break;
    case 8: *ptx = y; *pty = cx - 1 - x; break;
    default: *ptx = x; *pty = y; break;
    }
}

// Rows read at a time where they cannot go straight to their place.
const UINT kBandRows = 16;
} // namespace

CImagingThread::CImagingThread() : m_bUninitialize(false), m_pOuter(t_pCurrent)
{
    // A thread already in a single-threaded apartment (the interface thread)
    // stays there; the factory works in either.
    m_bUninitialize = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                       reinterpret_cast<void**>(&m_pFactory));
    t_pCurrent = this;
}

CImagingThread::~CImagingThread()
{
    t_pCurrent = m_pOuter;
    m_pFactory.Release();
    if (m_bUninitialize)
        ::CoUninitialize();
}

CImagingThread* CImagingThread::Current()
{
    return t_pCurrent;
}

CImagingScope::CImagingScope()
{
    if (!CImagingThread::Current())
        m_pOwn.reset(new (std::nothrow) CImagingThread);
}

IWICImagingFactory* CImagingScope::Factory() const
{
    const CImagingThread* pThread = CImagingThread::Current();
    return pThread ? pThread->Factory() : nullptr;
}

CWicFrame::EOpen CWicFrame::Open(IWICImagingFactory* pFactory, IStream* pStream, const BYTE* pHead, size_t cbHead,
                                 const std::atomic<bool>* pCancel)
{
    if (!pFactory)
        return OPEN_NO_CODEC;
    m_pFactory.Attach(pFactory);
    pFactory->AddRef();
    m_pCancel = pCancel;
    const LARGE_INTEGER start = {};
    if (FAILED(pStream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return OPEN_FAILED;
    // Metadata read on load, as GDI+ asks: the PNG decoder then reads on to
    // the end chunk, and a file GDI+ refuses for a damaged tail is refused here.
    const HRESULT hr =
        pFactory->CreateDecoderFromStream(pStream, nullptr, WICDecodeMetadataCacheOnLoad, &m_pDecoder);
    if (hr == WINCODEC_ERR_COMPONENTNOTFOUND)
        return OPEN_NO_CODEC;
    if (FAILED(hr) || !m_pDecoder || FAILED(m_pDecoder->GetContainerFormat(&m_container)) ||
        FAILED(m_pDecoder->GetFrame(0, &m_pFrame)) || FAILED(m_pFrame->GetSize(&m_cx, &m_cy)) ||
        FAILED(m_pFrame->GetPixelFormat(&m_format)) || m_cx == 0 || m_cy == 0 || Cancelled())
        return OPEN_FAILED;
    return ChooseKind(pHead, cbHead) ? OPEN_DONE : OPEN_FAILED;
}

BOOL CWicFrame::ChooseKind(const BYTE* pHead, size_t cbHead)
{
    // The formats GDI+ keeps as the decoder gives them; it converts the
    // rest to BGRA, and so does a PNG of grey levels, or of a palette or
    // 24 bits with a transparent colour.
    const bool bPng = m_container == GUID_ContainerFormatPng;
    const bool bPngTransparent = bPng && PngHasTransparency(pHead, cbHead);
    m_nKind = KIND_CONVERTED;
    if (m_format == GUID_WICPixelFormat24bppBGR && !bPngTransparent)
        m_nKind = KIND_BGR24;
    else if (m_format == GUID_WICPixelFormat32bppBGR)
        m_nKind = KIND_BGRX32;
    else if (m_format == GUID_WICPixelFormat32bppBGRA)
        // GDI+ takes no alpha from a BMP.
        m_nKind = m_container == GUID_ContainerFormatBmp ? KIND_BGRX32 : KIND_BGRA32;
    else if (m_format == GUID_WICPixelFormat32bppPBGRA)
        m_nKind = KIND_PBGRA32;
    else if (m_format == GUID_WICPixelFormat8bppGray && !bPng)
        m_nKind = KIND_GRAY8;
    else if (m_format == GUID_WICPixelFormat16bppBGR555)
        m_nKind = KIND_BGR555;
    else if ((m_format == GUID_WICPixelFormatBlackWhite || m_format == GUID_WICPixelFormat1bppIndexed) &&
             !bPngTransparent)
        m_nKind = KIND_INDEXED1;
    else if (m_format == GUID_WICPixelFormat4bppIndexed && !bPngTransparent)
        m_nKind = KIND_INDEXED4;
    else if (m_format == GUID_WICPixelFormat8bppIndexed && !bPngTransparent)
        m_nKind = KIND_INDEXED8;

    if (m_nKind == KIND_CONVERTED)
        return SUCCEEDED(m_pFactory->CreateFormatConverter(&m_pConverter)) &&
               SUCCEEDED(m_pConverter->Initialize(m_pFrame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                                  nullptr, 0.0, WICBitmapPaletteTypeCustom));
    if (m_nKind != KIND_INDEXED1 && m_nKind != KIND_INDEXED4 && m_nKind != KIND_INDEXED8 && m_nKind != KIND_GRAY8)
        return TRUE;
    // The frame's palette, else the fixed one GDI+ would take.
    CComPtr<IWICPalette> pPalette;
    if (FAILED(m_pFactory->CreatePalette(&pPalette)))
        return FALSE;
    if (FAILED(m_pFrame->CopyPalette(pPalette)))
    {
        const WICBitmapPaletteType nFixed = m_nKind == KIND_INDEXED1 ? WICBitmapPaletteTypeFixedBW
                                            : m_nKind == KIND_GRAY8  ? WICBitmapPaletteTypeFixedGray256
                                                                     : WICBitmapPaletteTypeFixedHalftone256;
        if (FAILED(pPalette->InitializePredefined(nFixed, FALSE)))
            return FALSE;
    }
    m_nColours = 0;
    std::fill(m_colours, m_colours + 256, 0u);
    return SUCCEEDED(pPalette->GetColors(256, m_colours, &m_nColours)) && m_nColours >= 1;
}

IWICBitmapSource* CWicFrame::Source() const
{
    if (m_pConverter)
        return m_pConverter;
    return m_pFrame;
}

UINT CWicFrame::SourceBits() const
{
    switch (m_nKind)
    {
    case KIND_BGR24: return 24;
    case KIND_GRAY8:
    case KIND_INDEXED8: return 8;
    case KIND_BGR555: return 16;
    case KIND_INDEXED4: return 4;
    case KIND_INDEXED1: return 1;
    default: return 32;
    }
}

BOOL CWicFrame::ReadPremultipliedRows(UINT nFirst, UINT nCount, BYTE* pOut, UINT cbStride)
{
    if (Cancelled() || nCount == 0 || cbStride < m_cx * 4)
        return FALSE;
    const WICRect rc = {0, static_cast<INT>(nFirst), static_cast<INT>(m_cx), static_cast<INT>(nCount)};
    if (FAILED(Source()->CopyPixels(&rc, cbStride, cbStride * nCount, pOut)))
        return FALSE;
    const int cx = static_cast<int>(m_cx);
    for (UINT y = 0; y < nCount; ++y)
    {
        BYTE* p = pOut + static_cast<size_t>(y) * cbStride;
        auto* pArgb = reinterpret_cast<DWORD*>(p);
        // Right to left: each pixel widens into room its source has left.
        switch (m_nKind)
        {
        case KIND_BGR24:
            for (int x = cx - 1; x >= 0; --x)
            {
                const BYTE* s = p + 3 * x;
                pArgb[x] = 0xFF000000u | static_cast<DWORD>(s[2]) << 16 | static_cast<DWORD>(s[1]) << 8 | s[0];
            }
            break;
        case KIND_BGRX32:
            for (int x = 0; x < cx; ++x)
                pArgb[x] |= 0xFF000000u;
            break;
        case KIND_BGRA32:
        case KIND_CONVERTED:
            for (int x = 0; x < cx; ++x)
            {
                BYTE* s = p + 4 * x;
                const unsigned a = s[3];
                if (a == 255)
                    continue;
                s[0] = Premultiply(s[0], a);
                s[1] = Premultiply(s[1], a);
                s[2] = Premultiply(s[2], a);
            }
            break;
        case KIND_PBGRA32:
            break;
        case KIND_GRAY8:
            for (int x = cx - 1; x >= 0; --x)
                pArgb[x] = 0xFF000000u | 0x010101u * p[x];
            break;
        case KIND_BGR555:
            for (int x = cx - 1; x >= 0; --x)
            {
                const unsigned v = p[2 * x] | p[2 * x + 1] << 8;
                const DWORD r = (v >> 7 & 0xF8) | (v >> 12 & 0x7);
                const DWORD g = (v >> 2 & 0xF8) | (v >> 6 & 0x7);
                const DWORD b = (v << 3 & 0xF8) | (v >> 2 & 0x7);
                pArgb[x] = 0xFF000000u | r << 16 | g << 8 | b;
            }
            break;
        case KIND_INDEXED1:
        case KIND_INDEXED4:
        case KIND_INDEXED8:
            for (int x = cx - 1; x >= 0; --x)
            {
                const UINT i = m_nKind == KIND_INDEXED8   ? p[x]
                               : m_nKind == KIND_INDEXED4 ? (p[x / 2] >> (x % 2 ? 0 : 4)) & 15
                                                          : (p[x / 8] >> (7 - x % 8)) & 1;
                const DWORD argb = i < m_nColours ? m_colours[i] : 0;
                // GDI+ premultiplies palette colours truncating.
                const DWORD a = argb >> 24;
                pArgb[x] = a << 24 | ((argb >> 16 & 0xFF) * a / 255) << 16 | ((argb >> 8 & 0xFF) * a / 255) << 8 |
                           (argb & 0xFF) * a / 255;
            }
            break;
        }
    }
    return TRUE;
}

BOOL CWicFrame::CopyPremultiplied(int nOrientation, const SPixelRows& target)
{
    UINT cxTurned = 0, cyTurned = 0;
    OrientedSize(nOrientation, m_cx, m_cy, &cxTurned, &cyTurned);
    if (target.cx != static_cast<int>(cxTurned) || target.cy != static_cast<int>(cyTurned) || target.nStride <= 0)
        return FALSE;
    const UINT cbStride = static_cast<UINT>(target.nStride);
    if (nOrientation < 2 || nOrientation > 8)
    {
        // Straight into the target, in bands so that a cancel is seen soon.
        for (UINT y = 0; y < m_cy; y += kBandRows * 4)
            if (!ReadPremultipliedRows(y, std::min(kBandRows * 4, m_cy - y), target.pTop + static_cast<size_t>(y) * cbStride,
                                       cbStride))
                return FALSE;
        return TRUE;
    }
    if (nOrientation <= 4)
    {
        // Each row to its own place, then mirrored there if need be.
        const bool bMirror = nOrientation != 4;
        const bool bUpsideDown = nOrientation != 2;
        for (UINT y = 0; y < m_cy; ++y)
        {
            BYTE* pRow = target.pTop + static_cast<size_t>(bUpsideDown ? m_cy - 1 - y : y) * cbStride;
            if (!ReadPremultipliedRows(y, 1, pRow, cbStride))
                return FALSE;
            if (bMirror)
                std::reverse(reinterpret_cast<DWORD*>(pRow), reinterpret_cast<DWORD*>(pRow) + m_cx);
        }
        return TRUE;
    }
    // Turned a quarter: rows become columns, a band at a time.
    const size_t cbBandStride = static_cast<size_t>(m_cx) * 4;
    std::unique_ptr<BYTE[]> pBand(new (std::nothrow) BYTE[cbBandStride * kBandRows]);
    if (!pBand)
        return FALSE;
    const int cx = static_cast<int>(m_cx), cy = static_cast<int>(m_cy);
    for (UINT y0 = 0; y0 < m_cy; y0 += kBandRows)
    {
        const UINT nRows = std::min(kBandRows, m_cy - y0);
        if (!ReadPremultipliedRows(y0, nRows, pBand.get(), static_cast<UINT>(cbBandStride)))
            return FALSE;
        for (UINT r = 0; r < nRows; ++r)
        {
            const auto* pIn = reinterpret_cast<const DWORD*>(pBand.get() + r * cbBandStride);
            const int y = static_cast<int>(y0 + r);
            for (int x = 0; x < cx; ++x)
            {
                int tx = 0, ty = 0;
                Turned(nOrientation, x, y, cx, cy, &tx, &ty);
                reinterpret_cast<DWORD*>(target.pTop + static_cast<size_t>(ty) * cbStride)[tx] = pIn[x];
            }
        }
    }
    return TRUE;
}

CWicFrame::EDib CWicFrame::CreateDib(int nOrientation, HBITMAP* phDib)
{
    *phDib = nullptr;
    if (m_nKind == KIND_PBGRA32)
        return DIB_NOT_MINE;
    const UINT nBits = m_nKind == KIND_CONVERTED ? 32 : SourceBits();
    UINT cx = 0, cy = 0;
    OrientedSize(nOrientation, m_cx, m_cy, &cx, &cy);
    // Under 2 GB on every architecture, as GDI needs.
    const unsigned long long cbStride64 = (static_cast<unsigned long long>(cx) * nBits + 31) / 32 * 4;
    if (cx > INT_MAX || cbStride64 * cy > INT_MAX)
        return DIB_FAILED;

    struct
    {
        BITMAPINFOHEADER bmiHeader;
        RGBQUAD bmiColors[256];
    } info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(cx);
    info.bmiHeader.biHeight = static_cast<LONG>(cy);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(nBits);
    info.bmiHeader.biCompression = BI_RGB;
    if (nBits <= 8)
        for (UINT i = 0; i < m_nColours && i < 256; ++i)
        {
            // The palette's alpha is dropped.
            info.bmiColors[i].rgbRed = static_cast<BYTE>(m_colours[i] >> 16);
            info.bmiColors[i].rgbGreen = static_cast<BYTE>(m_colours[i] >> 8);
            info.bmiColors[i].rgbBlue = static_cast<BYTE>(m_colours[i]);
        }
    void* pBits = nullptr;
    CBitmap dib;
    if (!dib.Attach(::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pBits,
                                       nullptr, 0)) ||
        !pBits)
        return DIB_FAILED;

    BYTE* pDib = static_cast<BYTE*>(pBits);
    const size_t cbDibStride = static_cast<size_t>(cbStride64);
    const UINT cbSourceRow = (m_cx * nBits + 7) / 8;
    // Bottom-up: the picture's row y is the DIB's row cy - 1 - y.
    auto fnRow = [&](UINT y) { return pDib + (cy - 1 - y) * cbDibStride; };
    if (nOrientation < 2 || nOrientation > 8)
    {
        for (UINT y = 0; y < m_cy; ++y)
        {
            const WICRect rc = {0, static_cast<INT>(y), static_cast<INT>(m_cx), 1};
            if (Cancelled() || FAILED(Source()->CopyPixels(&rc, cbSourceRow, cbSourceRow, fnRow(y))))
                return DIB_FAILED;
        }
        *phDib = static_cast<HBITMAP>(dib.Detach());
        return DIB_DONE;
    }
    std::unique_ptr<BYTE[]> pRow(new (std::nothrow) BYTE[cbSourceRow]);
    if (!pRow)
        return DIB_FAILED;
    const UINT cbPixel = nBits / 8;
    for (UINT y = 0; y < m_cy; ++y)
    {
        const WICRect rc = {0, static_cast<INT>(y), static_cast<INT>(m_cx), 1};
        if (Cancelled() || FAILED(Source()->CopyPixels(&rc, cbSourceRow, cbSourceRow, pRow.get())))
            return DIB_FAILED;
        for (UINT x = 0; x < m_cx; ++x)
        {
            int tx = 0, ty = 0;
            Turned(nOrientation, static_cast<int>(x), static_cast<int>(y), static_cast<int>(m_cx),
                   static_cast<int>(m_cy), &tx, &ty);
            BYTE* pOut = fnRow(static_cast<UINT>(ty));
            if (nBits < 8)
            {
                // Pixels packed from the high bits down.
                const UINT nPerByte = 8 / nBits, nMax = (1u << nBits) - 1;
                const UINT nShiftIn = (nPerByte - 1 - x % nPerByte) * nBits;
                const UINT nShiftOut = (nPerByte - 1 - static_cast<UINT>(tx) % nPerByte) * nBits;
                const UINT nValue = (pRow[x / nPerByte] >> nShiftIn) & nMax;
                BYTE& nOut = pOut[static_cast<UINT>(tx) / nPerByte];
                nOut = static_cast<BYTE>((nOut & ~(nMax << nShiftOut)) | nValue << nShiftOut);
            }
            else
            {
                std::memcpy(pOut + static_cast<size_t>(tx) * cbPixel, pRow.get() + static_cast<size_t>(x) * cbPixel,
                            cbPixel);
            }
        }
    }
    *phDib = static_cast<HBITMAP>(dib.Detach());
    return DIB_DONE;
}

void TurnPixels(const SPixelRows& source, int nOrientation, const SPixelRows& target)
{
    for (int y = 0; y < source.cy; ++y)
    {
        const auto* pIn = reinterpret_cast<const DWORD*>(source.pTop + source.nStride * y);
        for (int x = 0; x < source.cx; ++x)
        {
            int tx = 0, ty = 0;
            Turned(nOrientation, x, y, source.cx, source.cy, &tx, &ty);
            reinterpret_cast<DWORD*>(target.pTop + target.nStride * ty)[tx] = pIn[x];
        }
    }
}

} // namespace KelDraw
