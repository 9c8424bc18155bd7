#include "draw/DibPicture.h"

#include <new>

namespace KelDraw
{

CDibPicture::CDibPicture(HBITMAP hDib, void* pBits, int cx, int cy, const SFileStamp& stamp)
    : SDibHolder(hDib, pBits),
      Gdiplus::Bitmap(cx, cy, cx * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(pBits)), m_stamp(stamp),
      m_cbPixels(static_cast<size_t>(cx) * static_cast<size_t>(cy) * 4)
{
}

CDibPicture* CDibPicture::Create(HBITMAP hDib, void* pBits, int cx, int cy, const SFileStamp& stamp)
{
    // GDI+'s heap, as for every picture: deleting it through Gdiplus::Bitmap
    // gives the memory back there (see NewPicture for why not plain new).
    void* pMemory = Gdiplus::DllExports::GdipAlloc(sizeof(CDibPicture));
    if (!pMemory)
    {
        ::DeleteObject(hDib);
        return nullptr;
    }
    CDibPicture* pPicture = ::new (pMemory) CDibPicture(hDib, pBits, cx, cy, stamp);
    if (pPicture->GetLastStatus() != Gdiplus::Ok)
    {
        delete pPicture;
        return nullptr;
    }
    return pPicture;
}

} // namespace KelDraw
