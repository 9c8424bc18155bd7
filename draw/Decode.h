#pragma once

#include <windows.h>

#include <objidl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Gdiplus
{
class Bitmap;
class GpBitmap;
}

namespace KelDraw
{

class CDibPicture;

// A bottom-up DIB section of the decoded file (first frame, turned upright as
// its orientation tag says), or null when the file cannot be decoded. The
// file is read in one go and closed before it is decoded. The caller deletes
// the DIB.
HBITMAP DecodeFileToDib(const wchar_t* pszPath);

// A bottom-up DIB section of a picture's pixels, or null when it has none or
// they do not fit a DIB. The caller deletes the DIB.
HBITMAP CreateDibFromBitmap(Gdiplus::GpBitmap* pImage);

// The file read in one go and decoded through a memory stream that the picture
// keeps, turned upright as its orientation tag says; null when the file cannot
// be read, a failed (0 x 0) picture when it is not a picture. The caller
// deletes the picture.
Gdiplus::Bitmap* LoadPictureFromFile(const wchar_t* pszPath);

// Asked for room for a picture's pixels before they are made.
class IPixelAdmission
{
public:
    // Whether cbPixels bytes of pixels may be made; asked with the size the
    // header declares where it tells, and again with the size decoded. Each
    // answer stands in place of the one before.
    virtual bool Admit(size_t cbPixels) = 0;

protected:
    ~IPixelAdmission() = default;
};

// The file decoded once into a picture ready for a layered update, or null
// when it cannot be: it cannot be read or decoded, DecodeFileToDib would
// refuse it, its 32-bit pixels would take 2 GB or more or more than cbMax
// or pAdmission refuses them (known from the header where it tells, else
// after the decode), there is no memory, or *pCancel has been set meanwhile.
// pSpare, a picture no longer wanted, is taken on every path: its memory
// holds the new picture where the sizes match, else it goes before the new
// picture's memory is made. The caller deletes the picture.
CDibPicture* LoadDibPicture(const wchar_t* pszPath, const std::atomic<bool>* pCancel = nullptr,
                            size_t cbMax = SIZE_MAX, IPixelAdmission* pAdmission = nullptr,
                            CDibPicture* pSpare = nullptr);

// A file's thumbnail: a cxBox x cyBox 32-bit DIB with the picture (turned
// upright) fitted and centred over white, its pixels area averages. TRUE
// when the file is taken as a picture: a JPEG whose own structure reads
// soundly up to its picture data (see ReadJpegFrame) and whose Exif preview
// suits the thumbnail (see FindExifPreview) gets it from the preview without
// a decode of the picture; any other file only once it has decoded. TRUE
// with a null *phThumb when there was no memory for the thumbnail.
BOOL DecodeFileToThumbnail(const wchar_t* pszPath, int cxBox, int cyBox, HBITMAP* phThumb,
                           bool* pbFromPreview = nullptr);

// How many files the calling thread has had decoded through the functions
// above (the imaging component first, GDI+ where it cannot).
unsigned DecodesOnThisThread();

// A picture holding its own reference to the stream; null only without memory.
Gdiplus::Bitmap* CreatePictureFromStream(IStream* pStream);

// A stream over a copy of the resource's bytes, holding one reference; or null.
IStream* CreateStreamFromResource(HRSRC hResource, HINSTANCE hInstance);

// A picture of the module's resource of type "PNG" (a failed one when missing);
// null only without memory.
Gdiplus::Bitmap* LoadPngResource(UINT nID);

} // namespace KelDraw
