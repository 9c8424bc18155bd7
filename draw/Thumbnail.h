#pragma once

#include <windows.h>

#include <wincodec.h>

#include <cstddef>

namespace KelDraw
{

class CWicFrame;
struct SPixelRows;

// A picture's size fitted into a box keeping its aspect, never enlarged.
// In doubles on purpose: 100 x 50 in 88 x 82 gives 88 x 43 (88 x 44 exactly).
SIZE FitThumbnail(SIZE size, SIZE sizeBox);

// A thumbnail: an opaque cxBox x cyBox 32-bit bitmap with the picture fitted
// and centred over white, each of its pixels the area average of the
// premultiplied pixels it covers; null without memory.
HBITMAP ThumbnailFromPixels(const SPixelRows& upright, int cxBox, int cyBox);

// The same of a frame read a band of rows at a time, turned as nOrientation
// says, fitted as a picture of sizePicture (upright) would be: no copy of the
// frame's size is made. FALSE when the frame cannot be read; TRUE with a
// null *phThumb when there is no memory for the thumbnail.
BOOL ThumbnailFromFrame(CWicFrame& frame, int nOrientation, SIZE sizePicture, int cxBox, int cyBox,
                        HBITMAP* phThumb);

// The thumbnail of a picture of sizePicture (upright) from the JPEG bytes of
// its Exif preview, stored cx x cy; null when they do not decode to that.
HBITMAP ThumbnailFromPreview(IWICImagingFactory* pFactory, const BYTE* pData, size_t cbData, UINT cx, UINT cy,
                             int nOrientation, SIZE sizePicture, int cxBox, int cyBox);

} // namespace KelDraw
