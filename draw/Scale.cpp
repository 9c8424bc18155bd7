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
typedef CAreaShrinker::SSpan SSpan;

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
    CAreaShrinker shrinker(source.cx, source.cy, target);
    if (!shrinker.Ready())
        return FALSE;
    for (int sy = 0; sy < source.cy; ++sy)
        shrinker.AddRow(Row(source, sy));
    shrinker.Finish();
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

CAreaShrinker::CAreaShrinker(int cxSource, int cySource, const SPixelRows& target)
    : m_target(target), m_nSums(static_cast<size_t>(std::max(target.cx, 0)) * 4), m_nRow(0), m_nSourceRow(0)
{
    if (cxSource <= 0 || cySource <= 0 || target.cx <= 0 || target.cy <= 0 || target.cx > cxSource ||
        target.cy > cySource)
        return;
    try
    {
        m_vecColumns = Spans(cxSource, target.cx);
        m_vecRows = Spans(cySource, target.cy);
    }
    catch (const std::bad_alloc&)
    {
        return;
    }
    m_pAcross.reset(new (std::nothrow) float[m_nSums]);
    m_pThis.reset(new (std::nothrow) float[m_nSums]());
    m_pNext.reset(new (std::nothrow) float[m_nSums]());
    // Each target pixel gathers the area of (source / target) squared pixels.
    m_fScale = static_cast<float>(static_cast<double>(target.cx) * target.cy /
                                  (static_cast<double>(cxSource) * cySource));
}

bool CAreaShrinker::Ready() const
{
    return m_pAcross && m_pThis && m_pNext;
}

void CAreaShrinker::Emit()
{
    BYTE* pOut = Row(m_target, m_nRow++);
    for (size_t n = 0; n < m_nSums; ++n)
        pOut[n] = static_cast<BYTE>(std::min(255.0f, m_pThis[n] * m_fScale + 0.5f));
    m_pThis.swap(m_pNext);
    std::fill(m_pNext.get(), m_pNext.get() + m_nSums, 0.0f);
}

void CAreaShrinker::AddRow(const BYTE* pIn)
{
    if (!Ready() || m_nSourceRow >= static_cast<int>(m_vecRows.size()))
        return;
    float* pAcross = m_pAcross.get();
    std::fill(pAcross, pAcross + m_nSums, 0.0f);
    const SSpan* pColumn = m_vecColumns.data();
    const size_t nColumns = m_vecColumns.size();
    for (size_t sx = 0; sx < nColumns; ++sx, pIn += 4)
    {
        const SSpan& span = pColumn[sx];
        float* pHere = pAcross + span.nFirst * 4;
        if (span.fShare == 1.0f)
        {
            for (int c = 0; c < 4; ++c)
                pHere[c] += pIn[c];
            continue;
        }
        const float fRest = 1.0f - span.fShare;
        for (int c = 0; c < 4; ++c)
            pHere[c] += pIn[c] * span.fShare;
        if (fRest > 0.0f)
            for (int c = 0; c < 4; ++c)
                pHere[4 + c] += pIn[c] * fRest;
    }
    const SSpan& span = m_vecRows[static_cast<size_t>(m_nSourceRow++)];
    // The row's first target row is done once a source row starts past it.
    while (m_nRow < span.nFirst)
        Emit();
    const float fRest = 1.0f - span.fShare;
    for (size_t n = 0; n < m_nSums; ++n)
    {
        m_pThis[n] += pAcross[n] * span.fShare;
        m_pNext[n] += pAcross[n] * fRest;
    }
}

void CAreaShrinker::Finish()
{
    if (!Ready())
        return;
    while (m_nRow < m_target.cy)
        Emit();
}

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
