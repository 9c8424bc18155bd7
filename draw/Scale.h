#pragma once

#include <windows.h>

namespace KelDraw
{

// 32-bit premultiplied pixels in memory: rows of cx pixels, nStride bytes
// apart (negative for bottom-up rows), starting at the top row.
struct SPixelRows
{
    BYTE* pTop;
    int cx, cy;
    LONG_PTR nStride;
};

// Scales every channel, alpha included, from one picture to the other's size.
// Smaller: each target pixel is the area average of the source pixels it
// covers, which keeps fine detail from shimmering and premultiplied colours
// right. Larger: each source pixel becomes a sharp block. FALSE without
// memory for a row of sums.
BOOL ScalePixels(const SPixelRows& source, const SPixelRows& target);

} // namespace KelDraw
