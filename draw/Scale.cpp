#include "draw/Scale.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace KelDraw
{

namespace
{
const BYTE* Row(const SPixelRows& rows, int y)
{
    return rows.pTop + rows.nStride * y;
}

BYTE* Row(SPixelRows& rows, int y)
{
    return rows.pTop + rows.nStride * y;
}

// Where a source line of nSource pixels puts its pixel i in a target line of
// nTarget (nTarget <= nSource): the first target pixel it covers, and the
// share of it that falls there (the rest falls in the next).
struct SSpan
{
    int nFirst;
    float fShare;
};

std::vector<SSpan> Spans(int nSource, int nTarget)
{
    std::vector<SSpan> vecSpans(static_cast<size_t>(nSource));
    // In target pixels: source pixel i covers [i * r, (i + 1) * r).
    const double r = static_cast<double>(nTarget) / nSource;
    for (int i = 0; i < nSource; ++i)
    {
        const double dStart = i * r, dEnd = (i + 1) * r;
        const int nFirst = std::min(static_cast<int>(dStart), nTarget - 1);
        const double dBorder = nFirst + 1;
        // The last pixel ends on the line's end, rounding aside.
        const bool bInside = dEnd <= dBorder || nFirst == nTarget - 1;
        vecSpans[static_cast<size_t>(i)] = {nFirst, static_cast<float>(bInside ? 1.0 : (dBorder - dStart) / r)};
    }
    return vecSpans;
}

BOOL Shrink(const SPixelRows& source, SPixelRows& target)
{
    const std::vector<SSpan> vecColumns = Spans(source.cx, target.cx);
    const std::vector<SSpan> vecRows = Spans(source.cy, target.cy);
    const size_t nSums = static_cast<size_t>(target.cx) * 4;
    // One source row summed across, and the sums of the target row being
    // made and of the next, which a source row may straddle.
    std::unique_ptr<float[]> pAcross(new (std::nothrow) float[nSums]);
    std::unique_ptr<float[]> pThis(new (std::nothrow) float[nSums]());
    std::unique_ptr<float[]> pNext(new (std::nothrow) float[nSums]());
    if (!pAcross || !pThis || !pNext)
        return FALSE;
    // Each target pixel gathers the area of (source / target) squared pixels.
    const float fScale = static_cast<float>(static_cast<double>(target.cx) * target.cy /
                                            (static_cast<double>(source.cx) * source.cy));
    int nRow = 0;
    auto fnEmit = [&](int y) {
        BYTE* pOut = Row(target, y);
        for (size_t n = 0; n < nSums; ++n)
            pOut[n] = static_cast<BYTE>(std::min(255.0f, pThis[n] * fScale + 0.5f));
    };
    for (int sy = 0; sy < source.cy; ++sy)
    {
        std::fill(pAcross.get(), pAcross.get() + nSums, 0.0f);
        const BYTE* pIn = Row(source, sy);
        for (int sx = 0; sx < source.cx; ++sx, pIn += 4)
        {
            const SSpan& span = vecColumns[static_cast<size_t>(sx)];
            float* pHere = pAcross.get() + span.nFirst * 4;
            const float fRest = 1.0f - span.fShare;
            for (int c = 0; c < 4; ++c)
                pHere[c] += pIn[c] * span.fShare;
            if (fRest > 0.0f)
                for (int c = 0; c < 4; ++c)
                    pHere[4 + c] += pIn[c] * fRest;
        }
        const SSpan& span = vecRows[static_cast<size_t>(sy)];
        // The row's first target row is done once a source row starts past it.
        while (nRow < span.nFirst)
        {
            fnEmit(nRow++);
            pThis.swap(pNext);
            std::fill(pNext.get(), pNext.get() + nSums, 0.0f);
        }
        const float fRest = 1.0f - span.fShare;
        for (size_t n = 0; n < nSums; ++n)
        {
            pThis[n] += pAcross[n] * span.fShare;
            pNext[n] += pAcross[n] * fRest;
        }
    }
    for (; nRow < target.cy; ++nRow)
    {
        fnEmit(nRow);
        pThis.swap(pNext);
        std::fill(pNext.get(), pNext.get() + nSums, 0.0f);
    }
    return TRUE;
}

void Enlarge(const SPixelRows& source, SPixelRows& target)
{
    std::vector<int> vecColumns(static_cast<size_t>(target.cx));
    for (int x = 0; x < target.cx; ++x)
        vecColumns[static_cast<size_t>(x)] =
            static_cast<int>(static_cast<long long>(x) * source.cx / target.cx);
    for (int y = 0; y < target.cy; ++y)
    {
        const auto* pIn = reinterpret_cast<const DWORD*>(
            Row(source, static_cast<int>(static_cast<long long>(y) * source.cy / target.cy)));
        auto* pOut = reinterpret_cast<DWORD*>(Row(target, y));
        for (int x = 0; x < target.cx; ++x)
            pOut[x] = pIn[vecColumns[static_cast<size_t>(x)]];
    }
}
} // namespace

BOOL ScalePixels(const SPixelRows& source, const SPixelRows& target)
{
    if (source.cx <= 0 || source.cy <= 0 || target.cx <= 0 || target.cy <= 0)
        return FALSE;
    SPixelRows out = target;
    if (target.cx <= source.cx && target.cy <= source.cy)
        return Shrink(source, out);
    Enlarge(source, out);
    return TRUE;
}

} // namespace KelDraw
