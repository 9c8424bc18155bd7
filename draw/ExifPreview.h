#pragma once

#include <windows.h>

#include <cstddef>

namespace KelDraw
{

// Whether a JPEG reads soundly up to its picture data, without decoding it:
// the start marker, then segments whose lengths stay inside the file, one
// frame header (baseline, extended or progressive Huffman coding) of 1 to 4
// components with sampling factors 1 to 4 and quantisation tables 0 to 3,
// a size above 0 whose 32-bit pixels take under 2 GB, and a scan header
// after it naming 1 to 4 of the frame's components. *pcx x *pcy: the
// frame's stored size.
bool ReadJpegFrame(const BYTE* pData, size_t cbData, UINT* pcx, UINT* pcy);

// The preview a camera stores in a JPEG's Exif block (IFD1's JPEG data).
struct SExifPreview
{
    size_t nOffset = 0; // in the file
    size_t cbSize = 0;
    UINT cx = 0, cy = 0; // as stored, not turned
};

// The preview of a JPEG that reads soundly (ReadJpegFrame), when the preview
// lies wholly inside the Exif block, reads soundly itself, and has the
// picture's aspect (to 2 %) at a size at least that of the thumbnail the
// picture makes in a cxBox x cyBox box.
bool FindExifPreview(const BYTE* pData, size_t cbData, int cxBox, int cyBox, SExifPreview* pPreview);

} // namespace KelDraw
