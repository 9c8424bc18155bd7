#pragma once

#include "draw/FileStamp.h"

#include <windows.h>

#include <gdiplus.h>

#include <cstddef>

namespace KelDraw
{

// Owns the DIB section under a CDibPicture. A base of its own so that it is
// made before the GDI+ picture over its pixels and goes after it.
struct SDibHolder
{
    SDibHolder(HBITMAP hDib, void* pBits) : m_hDib(hDib), m_pBits(pBits) {}
    ~SDibHolder() { ::DeleteObject(m_hDib); }
    SDibHolder(const SDibHolder&) = delete;
    SDibHolder& operator=(const SDibHolder&) = delete;

    HBITMAP m_hDib;
    void* m_pBits;
};

// A file's picture as a layered update takes it: premultiplied 32-bit BGRA
// in a top-down DIB section, which GDI+ sees as a PARGB picture over the same
// memory. Lives on GDI+'s heap like any picture and is deleted as one.
class CDibPicture : private SDibHolder, public Gdiplus::Bitmap
{
public:
    // Takes the DIB (top-down, 32 bits, cx x cy) on every path; null without
    // memory.
    static CDibPicture* Create(HBITMAP hDib, void* pBits, int cx, int cy, const SFileStamp& stamp);

    HBITMAP Dib() const { return m_hDib; }
    // The pixels, top row first, 4 bytes each without padding.
    void* Bits() const { return m_pBits; }
    // The file's stamp when it was read.
    const SFileStamp& Stamp() const { return m_stamp; }
    // What its pixels take: 4 bytes each.
    size_t Bytes() const { return m_cbPixels; }
    // Its pixels have been overwritten by a read of the file with this stamp.
    void Restamp(const SFileStamp& stamp) { m_stamp = stamp; }

private:
    CDibPicture(HBITMAP hDib, void* pBits, int cx, int cy, const SFileStamp& stamp);

    SFileStamp m_stamp;
    const size_t m_cbPixels;
};

} // namespace KelDraw
