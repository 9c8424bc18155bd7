#pragma once

#include <windows.h>

namespace Gdiplus
{
class GpBitmap;
class Image;
}

namespace KelDraw
{

// How a photo's stored pixels are to be turned to stand upright: the EXIF
// orientation tag (0x0112), 1 (as stored) to 8. 1 whenever there is no tag
// or the tag cannot be trusted.
//
// The picture's own property item is asked first; where the decoder offers
// none (Wine's JPEG decoder keeps no EXIF), the file's bytes are read: a JPEG's
// Exif APP1 block or a TIFF's first directory. A damaged block is ignored.
int PictureOrientation(Gdiplus::GpBitmap* pImage, const BYTE* pFile, size_t cbFile);
int PictureOrientation(Gdiplus::Image* pImage, const BYTE* pFile, size_t cbFile);

// The tag as the file's bytes give it, or 0 when absent or damaged.
int ReadOrientationTag(const BYTE* pFile, size_t cbFile);

// Turns the picture in place so that it stands upright; its size then is the
// turned size. FALSE only when the platform fails to turn it.
BOOL ApplyOrientation(Gdiplus::GpBitmap* pImage, int nOrientation);
BOOL ApplyOrientation(Gdiplus::Image* pImage, int nOrientation);

} // namespace KelDraw
