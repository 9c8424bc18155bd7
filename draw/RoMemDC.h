#pragma once

#include "framework/DC.h"

namespace KelDraw
{

// A zeroed 32-bit DIB section, top row first, for premultiplied pixels; null
// when it cannot be made. *ppBits, when asked for, gets its pixels' memory.
// The caller deletes it.
HBITMAP CreateTopDownDib(int cx, int cy, void** ppBits = nullptr);

// Off-screen buffer over a rectangle of a target DC. Drawing at a point of the
// target inside the rectangle lands at the same logical point of the buffer;
// Finish (at the latest the destructor) copies the buffer in one block.
class CRoMemDC : public CDC
{
public:
    // The buffer is compatible with the target. An alpha buffer is a zeroed
    // (fully transparent) 32-bit premultiplied-ARGB DIB section instead, which
    // GDI+ draws into with alpha and which a layered update can take as it is.
    CRoMemDC(HDC hTargetDC, const RECT* pRect, BOOL bAlpha = FALSE);
    ~CRoMemDC() override;

    // Copies the buffer to the target, if both are there, and lets it go.
    void Finish();
    // Lets the buffer go without copying anything to the target.
    void Discard();
    // A new bitmap with a copy of the buffer's rectangle, or null when there is
    // no buffer (none was made, or it was let go); the caller owns it.
    HBITMAP CopyBitmap();

    RECT m_rect;
    HGDIOBJ m_hOldBitmap;
    HBITMAP m_hBitmap;
    HDC m_hTargetDC;
};

} // namespace KelDraw
