#pragma once

#include <windows.h>

#include <gdiplus.h>

#include <new>
#include <utility>

namespace KelDraw
{

// Makes a picture on GDI+'s heap, or returns null when there is no memory for
// the object. GDI+'s own operator new returns null on failure although the
// compiler may assume it cannot, so the memory is taken first and the object
// built only on success. The owner deletes it (virtual destructor, GdipFree).
template <class... TArgs>
Gdiplus::Bitmap* NewPicture(TArgs&&... args)
{
    void* pMemory = Gdiplus::DllExports::GdipAlloc(sizeof(Gdiplus::Bitmap));
    return pMemory ? ::new (pMemory) Gdiplus::Bitmap(std::forward<TArgs>(args)...) : nullptr;
}

} // namespace KelDraw
