#include "draw/GifFrames.h"

#include "draw/Scale.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace KelDraw
{

namespace
{
struct SHandleCloser
{
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};

struct SGlobalFree
{
    void operator()(HGLOBAL h) const { ::GlobalFree(h); }
};

// A number the query names, whatever unsigned width it comes in.
bool QueryNumber(IWICMetadataQueryReader* pQuery, const wchar_t* pszName, UINT* pnValue)
{
    PROPVARIANT value;
    ::PropVariantInit(&value);
    if (FAILED(pQuery->GetMetadataByName(pszName, &value)))
        return false;
    bool bKnown = true;
    switch (value.vt)
    {
    case VT_UI1: *pnValue = value.bVal; break;
    case VT_UI2: *pnValue = value.uiVal; break;
    case VT_UI4: *pnValue = value.ulVal; break;
    default: bKnown = false; break;
    }
    ::PropVariantClear(&value);
    return bKnown;
}

// The bytes the query names; empty when it names none.
std::string QueryBytes(IWICMetadataQueryReader* pQuery, const wchar_t* pszName)
{
    PROPVARIANT value;
    ::PropVariantInit(&value);
    if (FAILED(pQuery->GetMetadataByName(pszName, &value)))
        return std::string();
    std::string strBytes;
    if (value.vt == (VT_VECTOR | VT_UI1) && value.caub.pElems)
        strBytes.assign(reinterpret_cast<const char*>(value.caub.pElems), value.caub.cElems);
    ::PropVariantClear(&value);
    return strBytes;
}

// The passes a file's looping block asks for: it counts the repeats after
// the first pass, as browsers read it, and 0 (or no block) means for ever.
UINT PlaysOf(IWICMetadataQueryReader* pQuery)
{
    const std::string strApp = QueryBytes(pQuery, L"/appext/Application");
    if (strApp != "NETSCAPE2.0" && strApp != "ANIMEXTS1.0")
        return 0;
    // The data keeps its sub-block's length first: 3, then 1 and the count.
    const std::string strData = QueryBytes(pQuery, L"/appext/Data");
    if (strData.size() < 4 || static_cast<BYTE>(strData[0]) < 3 || strData[1] != 1)
        return 0;
    const UINT nRepeats = static_cast<BYTE>(strData[2]) | static_cast<UINT>(static_cast<BYTE>(strData[3])) << 8;
    return nRepeats == 0 ? 0 : nRepeats + 1;
}

// The whole of a GIF file in a memory stream, so that the decoder never holds
// the file (others may rewrite or delete it meanwhile); null when it is no
// GIF, cannot be read or no longer has the stamp given.
IStream* ReadFileStream(const wchar_t* pszPath, const SFileStamp* pStamp)
{
    const HANDLE hRaw = ::CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hRaw == INVALID_HANDLE_VALUE)
        return nullptr;
    const std::unique_ptr<void, SHandleCloser> hFile(hRaw);
    SFileStamp stamp;
    if (!ReadHandleStamp(hFile.get(), &stamp) || stamp.cbSize == 0 || stamp.cbSize >= INVALID_FILE_SIZE ||
        (pStamp && stamp != *pStamp))
        return nullptr;
    // Only a GIF is read whole, and only a GIF decoder is ever made.
    char signature[6] = {};
    DWORD cbSignature = 0;
    if (!::ReadFile(hFile.get(), signature, sizeof(signature), &cbSignature, nullptr) ||
        cbSignature != sizeof(signature) ||
        (std::memcmp(signature, "GIF87a", 6) != 0 && std::memcmp(signature, "GIF89a", 6) != 0) ||
        ::SetFilePointer(hFile.get(), 0, nullptr, FILE_BEGIN) != 0)
        return nullptr;
    const DWORD cbFile = static_cast<DWORD>(stamp.cbSize);
    std::unique_ptr<void, SGlobalFree> hMemory(::GlobalAlloc(GMEM_MOVEABLE, cbFile));
    if (!hMemory)
        return nullptr;
    void* pData = ::GlobalLock(hMemory.get());
    DWORD cbRead = 0;
    const BOOL bRead = pData && ::ReadFile(hFile.get(), pData, cbFile, &cbRead, nullptr) && cbRead == cbFile;
    if (pData)
        ::GlobalUnlock(hMemory.get());
    SFileStamp after;
    if (!bRead || !ReadHandleStamp(hFile.get(), &after) || after != stamp)
        return nullptr;
    IStream* pStream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(hMemory.get(), TRUE, &pStream)))
        return nullptr;
    hMemory.release(); // the stream frees it
    return pStream;
}

inline DWORD Premultiplied(DWORD argb)
{
    const DWORD a = argb >> 24;
    if (a == 255)
        return argb;
    DWORD out = a << 24;
    for (int nShift = 0; nShift < 24; nShift += 8)
        out |= ((((argb >> nShift) & 0xFF) * a + 127) / 255) << nShift;
    return out;
}

// The premultiplied pixel src drawn over dst.
inline DWORD Over(DWORD src, DWORD dst)
{
    const DWORD a = src >> 24;
    if (a == 255)
        return src;
    if (a == 0)
        return dst;
    DWORD out = 0;
    for (int nShift = 0; nShift < 32; nShift += 8)
    {
        const DWORD s = (src >> nShift) & 0xFF;
        const DWORD d = (dst >> nShift) & 0xFF;
        out |= std::min<DWORD>(255, s + (d * (255 - a) + 127) / 255) << nShift;
    }
    return out;
}

inline DWORD* CanvasRow(const SPixelRows& canvas, LONG y)
{
    return reinterpret_cast<DWORD*>(canvas.pTop + canvas.nStride * y);
}
} // namespace

BOOL CGifFrames::Open(const wchar_t* pszPath, const SFileStamp* pStamp, IWICImagingFactory* pFactory)
{
    m_pDecoder.Release();
    m_nFrames = 0;
    CComPtr<IStream> pStream;
    pStream.Attach(ReadFileStream(pszPath, pStamp));
    if (!pStream)
        return FALSE;
    if (pFactory)
    {
        pFactory->AddRef();
        m_pFactory.Attach(pFactory);
    }
    else if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       __uuidof(IWICImagingFactory), reinterpret_cast<void**>(&m_pFactory))))
        return FALSE;
    CComPtr<IWICBitmapDecoder> pDecoder;
    GUID container = {};
    UINT nFrames = 0;
    if (FAILED(m_pFactory->CreateDecoderFromStream(pStream, nullptr, WICDecodeMetadataCacheOnDemand, &pDecoder)) ||
        FAILED(pDecoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatGif ||
        FAILED(pDecoder->GetFrameCount(&nFrames)) || nFrames < 2)
        return FALSE;

    UINT cx = 0, cy = 0;
    m_nPlays = 0;
    CComPtr<IWICMetadataQueryReader> pQuery;
    if (SUCCEEDED(pDecoder->GetMetadataQueryReader(&pQuery)))
    {
        QueryNumber(pQuery, L"/logscrdesc/Width", &cx);
        QueryNumber(pQuery, L"/logscrdesc/Height", &cy);
        m_nPlays = PlaysOf(pQuery);
    }
    if (cx == 0 || cy == 0)
    {
        // No screen told: the first frame's own extent.
        CComPtr<IWICBitmapFrameDecode> pFrame;
        if (FAILED(pDecoder->GetFrame(0, &pFrame)) || FAILED(pFrame->GetSize(&cx, &cy)) || cx == 0 || cy == 0)
            return FALSE;
    }
    m_pDecoder.Attach(pDecoder.Detach());
    m_cx = cx;
    m_cy = cy;
    m_nFrames = nFrames;
    m_nPlayed = 0;
    m_nFrame = 0;
    m_nDisposal = 0;
    m_pCovered.reset();
    return TRUE;
}

CGifFrames::EStep CGifFrames::Restart(const SPixelRows& canvas)
{
    if (!m_pDecoder)
        return STEP_FAILED;
    for (LONG y = 0; y < canvas.cy; ++y)
        std::memset(CanvasRow(canvas, y), 0, static_cast<size_t>(canvas.cx) * 4);
    m_nPlayed = 0;
    m_nDisposal = 0;
    m_pCovered.reset();
    return Draw(0, canvas);
}

CGifFrames::EStep CGifFrames::Next(const SPixelRows& canvas)
{
    if (!m_pDecoder)
        return STEP_FAILED;
    const bool bWrap = m_nFrame + 1 >= m_nFrames;
    if (bWrap && m_nPlays != 0 && m_nPlayed + 1 >= m_nPlays)
        return STEP_END;
    Dispose(canvas);
    if (!bWrap)
        return Draw(m_nFrame + 1, canvas);
    // Every pass starts as the first did.
    ++m_nPlayed;
    for (LONG y = 0; y < canvas.cy; ++y)
        std::memset(CanvasRow(canvas, y), 0, static_cast<size_t>(canvas.cx) * 4);
    return Draw(0, canvas);
}

void CGifFrames::Dispose(const SPixelRows& canvas)
{
    const LONG cxRect = m_rcFrame.right - m_rcFrame.left;
    if (m_nDisposal == 2)
    {
        // To the background, which browsers show as transparent.
        for (LONG y = m_rcFrame.top; y < m_rcFrame.bottom; ++y)
            std::memset(CanvasRow(canvas, y) + m_rcFrame.left, 0, static_cast<size_t>(cxRect) * 4);
    }
    else if (m_nDisposal == 3 && m_pCovered)
    {
        const DWORD* pSaved = m_pCovered.get();
        for (LONG y = m_rcFrame.top; y < m_rcFrame.bottom; ++y, pSaved += cxRect)
            std::memcpy(CanvasRow(canvas, y) + m_rcFrame.left, pSaved, static_cast<size_t>(cxRect) * 4);
    }
    m_nDisposal = 0;
    m_pCovered.reset();
}

CGifFrames::EStep CGifFrames::Draw(UINT nFrame, const SPixelRows& canvas)
{
    CComPtr<IWICBitmapFrameDecode> pFrame;
    UINT cxFrame = 0, cyFrame = 0;
    if (FAILED(m_pDecoder->GetFrame(nFrame, &pFrame)) || FAILED(pFrame->GetSize(&cxFrame, &cyFrame)))
        return STEP_FAILED;
    m_nFrame = nFrame;

    UINT nLeft = 0, nTop = 0, nDelay = 0, nDisposal = 0;
    CComPtr<IWICMetadataQueryReader> pQuery;
    if (SUCCEEDED(pFrame->GetMetadataQueryReader(&pQuery)))
    {
        QueryNumber(pQuery, L"/imgdesc/Left", &nLeft);
        QueryNumber(pQuery, L"/imgdesc/Top", &nTop);
        QueryNumber(pQuery, L"/grctlext/Delay", &nDelay);
        QueryNumber(pQuery, L"/grctlext/Disposal", &nDisposal);
    }
    // In hundredths; 0 and 1 are shown for 100 ms, as browsers do.
    m_nDelayMs = nDelay <= 1 ? 100 : nDelay * 10;

    // Where the frame lies on the canvas; whatever falls outside is not drawn.
    const auto Clip = [](UINT nStart, UINT nExtent, LONG nLimit) {
        return static_cast<LONG>(std::min<ULONGLONG>(static_cast<ULONGLONG>(nStart) + nExtent, nLimit));
    };
    m_rcFrame = {Clip(nLeft, 0, canvas.cx), Clip(nTop, 0, canvas.cy), Clip(nLeft, cxFrame, canvas.cx),
                 Clip(nTop, cyFrame, canvas.cy)};
    const LONG cxRect = m_rcFrame.right - m_rcFrame.left;
    const LONG cyRect = m_rcFrame.bottom - m_rcFrame.top;
    // Disposal 1 (and 0, none told) leaves the frame in place.
    m_nDisposal = nDisposal == 2 || nDisposal == 3 ? nDisposal : 0;
    if (cxRect <= 0 || cyRect <= 0)
        return STEP_DRAWN;
    if (m_nDisposal == 3)
    {
        m_pCovered.reset(new (std::nothrow) DWORD[static_cast<size_t>(cxRect) * static_cast<size_t>(cyRect)]);
        if (!m_pCovered)
            return STEP_FAILED;
        DWORD* pSave = m_pCovered.get();
        for (LONG y = m_rcFrame.top; y < m_rcFrame.bottom; ++y, pSave += cxRect)
            std::memcpy(pSave, CanvasRow(canvas, y) + m_rcFrame.left, static_cast<size_t>(cxRect) * 4);
    }

    // A GIF frame is 8-bit indices into a palette whose transparent entry has
    // alpha 0; anything else is read converted.
    WICPixelFormatGUID format = {};
    pFrame->GetPixelFormat(&format);
    const bool bIndexed = format == GUID_WICPixelFormat8bppIndexed;
    WICColor colours[256] = {};
    UINT nColours = 0;
    CComPtr<IWICFormatConverter> pConverter;
    if (bIndexed)
    {
        CComPtr<IWICPalette> pPalette;
        if (FAILED(m_pFactory->CreatePalette(&pPalette)) || FAILED(pFrame->CopyPalette(pPalette)) ||
            FAILED(pPalette->GetColors(256, colours, &nColours)))
            return STEP_FAILED;
        for (UINT i = 0; i < nColours; ++i)
            colours[i] = Premultiplied(colours[i]);
    }
    else if (FAILED(m_pFactory->CreateFormatConverter(&pConverter)) ||
             FAILED(pConverter->Initialize(pFrame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                           0.0, WICBitmapPaletteTypeCustom)))
        return STEP_FAILED;

    const UINT cbRow = static_cast<UINT>(cxRect) * (bIndexed ? 1 : 4);
    std::unique_ptr<BYTE[]> pRow(new (std::nothrow) BYTE[cbRow]);
    if (!pRow)
        return STEP_FAILED;
    IWICBitmapSource* pSource = bIndexed ? static_cast<IWICBitmapSource*>(pFrame.m_p)
                                         : static_cast<IWICBitmapSource*>(pConverter.m_p);
    for (LONG y = m_rcFrame.top; y < m_rcFrame.bottom; ++y)
    {
        const WICRect rcRow = {m_rcFrame.left - static_cast<INT>(nLeft), y - static_cast<INT>(nTop), cxRect, 1};
        if (FAILED(pSource->CopyPixels(&rcRow, cbRow, cbRow, pRow.get())))
            return STEP_FAILED;
        DWORD* pOut = CanvasRow(canvas, y) + m_rcFrame.left;
        if (bIndexed)
        {
            for (LONG x = 0; x < cxRect; ++x)
            {
                // An index past the palette draws nothing, like the transparent one.
                const BYTE nIndex = pRow[static_cast<size_t>(x)];
                if (nIndex < nColours)
                    pOut[x] = Over(colours[nIndex], pOut[x]);
            }
        }
        else
        {
            const DWORD* pIn = reinterpret_cast<const DWORD*>(pRow.get());
            for (LONG x = 0; x < cxRect; ++x)
                pOut[x] = Over(pIn[x], pOut[x]);
        }
    }
    return STEP_DRAWN;
}

} // namespace KelDraw
