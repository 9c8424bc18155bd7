#include "viewer/Zoom.h"

#include <algorithm>
#include <cmath>

namespace
{
// Each step as a fraction: 1/8, 1/4, 1/3, 1/2, 2/3, 1, 3/2, 2, 3, 4, 6, 8.
struct SFraction
{
    int nNum, nDen;
};
const SFraction kSteps[CZoom::STEP_COUNT] = {
    {1, 8}, {1, 4}, {1, 3}, {1, 2}, {2, 3}, {1, 1}, {3, 2}, {2, 1}, {3, 1}, {4, 1}, {6, 1}, {8, 1},
};

int Along(int nWindow, int nCursor, const SFraction& from, const SFraction& to)
{
    // The picture point under the cursor, in natural pixels, then where it
    // lies at the new step.
    const double dPoint = static_cast<double>(nCursor - nWindow) * from.nDen / from.nNum;
    return nCursor - static_cast<int>(std::lround(dPoint * to.nNum / to.nDen));
}
} // namespace

int CZoom::StepBy(int nStep, int nNotches)
{
    return std::min(std::max(nStep + nNotches, 0), STEP_COUNT - 1);
}

int CZoom::Length(int nLength, int nStep)
{
    const SFraction& step = kSteps[nStep];
    const long long nScaled = (static_cast<long long>(nLength) * step.nNum * 2 + step.nDen) / (2LL * step.nDen);
    return static_cast<int>(std::max(1LL, nScaled));
}

SIZE CZoom::Size(SIZE natural, int nStep)
{
    return SIZE{Length(natural.cx, nStep), Length(natural.cy, nStep)};
}

POINT CZoom::Origin(POINT ptWindow, POINT ptCursor, int nFromStep, int nToStep)
{
    return POINT{Along(ptWindow.x, ptCursor.x, kSteps[nFromStep], kSteps[nToStep]),
                 Along(ptWindow.y, ptCursor.y, kSteps[nFromStep], kSteps[nToStep])};
}
