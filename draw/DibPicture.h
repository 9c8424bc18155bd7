#pragma once

#include <windows.h>

#include <gdiplus.h>

#include <cstddef>

namespace KelDraw
{

// What tells one content of a file from another cheaply: its size and
// last-write time.
struct SFileStamp
{
    ULONGLONG cbSize = 0;
    ULONGLONG nLastWrite = 0;

    bool operator==(const SFileStamp& other) const
    {
        return cbSize == other.cbSize && nLastWrite == other.nLastWrite;
    }
    bool operator!=(const SFileStamp& other) const { return !(*this == other); }
};

// The file's stamp as it is now; false when there is no such file.
bool ReadFileStamp(const wchar_t* pszPath, SFileStamp* pStamp);

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

private:
    CDibPicture(HBITMAP hDib, void* pBits, int cx, int cy, const SFileStamp& stamp);

    const SFileStamp m_stamp;
    const size_t m_cbPixels;
};

} // namespace KelDraw
