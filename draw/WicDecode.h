#pragma once

#include <windows.h>

#include <objidl.h>
#include <wincodec.h>

#include "framework/ComPtr.h"

#include <atomic>
#include <cstddef>
#include <memory>

namespace KelDraw
{

struct SPixelRows;

// COM and one imaging factory for the thread that makes it, for every decode
// the thread runs while it lives. A thread without one gets both for each
// decode. Made and destroyed on the same thread, innermost last.
class CImagingThread
{
public:
    CImagingThread();
    ~CImagingThread();
    CImagingThread(const CImagingThread&) = delete;
    CImagingThread& operator=(const CImagingThread&) = delete;

    // Null when the platform has no imaging component.
    IWICImagingFactory* Factory() const { return m_pFactory; }
    // The calling thread's innermost one, or null.
    static CImagingThread* Current();

private:
    CComPtr<IWICImagingFactory> m_pFactory;
    bool m_bUninitialize;
    CImagingThread* m_pOuter;
};

// The calling thread's CImagingThread, or one of its own while it lives
// when the thread has none.
class CImagingScope
{
public:
    CImagingScope();
    IWICImagingFactory* Factory() const;

private:
    std::unique_ptr<CImagingThread> m_pOwn;
};

// The first frame of a picture as the platform's imaging component reads it,
// its decoder chosen by the content.
class CWicFrame
{
public:
    enum EOpen
    {
        OPEN_DONE,
        OPEN_NO_CODEC, // no decoder here knows the content: GDI+ may
        OPEN_FAILED,   // a decoder knows it and cannot read it
    };
    // The stream is read from its start; pHead holds the start of its bytes.
    // pCancel, once set, stops a copy between bands.
    EOpen Open(IWICImagingFactory* pFactory, IStream* pStream, const BYTE* pHead, size_t cbHead,
               const std::atomic<bool>* pCancel = nullptr);

    UINT Width() const { return m_cx; }
    UINT Height() const { return m_cy; }

    // Premultiplied 32-bit BGRA as GDI+ would give it, turned upright as
    // nOrientation (1 to 8) says, into target (the turned size). FALSE when
    // the decoder fails or the decode was cancelled.
    BOOL CopyPremultiplied(int nOrientation, const SPixelRows& target);
    // Rows nFirst.. (nCount of them) as stored, premultiplied, into rows
    // cbStride bytes apart (at least 4 x width).
    BOOL ReadPremultipliedRows(UINT nFirst, UINT nCount, BYTE* pOut, UINT cbStride);

    enum EDib
    {
        DIB_DONE,
        DIB_NOT_MINE, // GDI+ gives this one a format of its own
        DIB_FAILED,
    };
    // A bottom-up DIB section in the format GDI+ would hold the picture in
    // (palettes, 16, 24 or 32 bits; alpha straight), turned upright.
    EDib CreateDib(int nOrientation, HBITMAP* phDib);

private:
    enum EKind
    {
        KIND_BGR24,
        KIND_BGRX32,
        KIND_BGRA32,
        KIND_PBGRA32,
        KIND_GRAY8,
        KIND_BGR555,
        KIND_INDEXED1, // BlackWhite or 1bppIndexed; GDI+ keeps indexed pixels with their palette
        KIND_INDEXED4,
        KIND_INDEXED8,
        KIND_CONVERTED, // anything else, converted to BGRA as GDI+ does
    };
    BOOL ChooseKind(const BYTE* pHead, size_t cbHead);
    IWICBitmapSource* Source() const;
    UINT SourceBits() const;
    BOOL Cancelled() const { return m_pCancel && m_pCancel->load(std::memory_order_relaxed); }

    CComPtr<IWICImagingFactory> m_pFactory;
    CComPtr<IWICBitmapDecoder> m_pDecoder;
    CComPtr<IWICBitmapFrameDecode> m_pFrame;
    CComPtr<IWICFormatConverter> m_pConverter;
    const std::atomic<bool>* m_pCancel = nullptr;
    GUID m_container = {};
    WICPixelFormatGUID m_format = {};
    EKind m_nKind = KIND_CONVERTED;
    UINT m_cx = 0, m_cy = 0;
    UINT m_nColours = 0;
    WICColor m_colours[256] = {};
};

// The upright size of a stored cx x cy picture.
inline void OrientedSize(int nOrientation, UINT cx, UINT cy, UINT* pcx, UINT* pcy)
{
    const bool bSwap = nOrientation >= 5 && nOrientation <= 8;
    *pcx = bSwap ? cy : cx;
    *pcy = bSwap ? cx : cy;
}

// Turns premultiplied pixels (same-size buffers, turned size in target) as
// nOrientation says.
void TurnPixels(const SPixelRows& source, int nOrientation, const SPixelRows& target);

} // namespace KelDraw
