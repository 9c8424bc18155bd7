#pragma once

#include <windows.h>

#include <memory>
#include <vector>

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

// The smaller half of ScalePixels for rows that come one at a time, top
// first: each target row is written as soon as the source rows it covers
// are in, so no picture of the source's size is ever needed.
class CAreaShrinker
{
public:
    // The target no larger than cxSource x cySource either way.
    CAreaShrinker(int cxSource, int cySource, const SPixelRows& target);
    CAreaShrinker(const CAreaShrinker&) = delete;
    CAreaShrinker& operator=(const CAreaShrinker&) = delete;

    // False without memory or with sizes it does not take.
    bool Ready() const;
    // The next source row: cxSource premultiplied pixels.
    void AddRow(const BYTE* pRow);
    // Writes the target rows not written yet.
    void Finish();

    // Where a source pixel of a line falls among the target's pixels.
    struct SSpan
    {
        int nFirst;
        float fShare;
    };

private:
    void Emit();

    SPixelRows m_target;
    size_t m_nSums;
    int m_nRow;       // the target row being gathered
    int m_nSourceRow; // the next source row
    float m_fScale = 0;
    std::vector<SSpan> m_vecColumns, m_vecRows;
    // One source row summed across, and the sums of the target row being
    // made and of the next, which a source row may straddle.
    std::unique_ptr<float[]> m_pAcross, m_pThis, m_pNext;
};

} // namespace KelDraw
