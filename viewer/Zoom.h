#pragma once

#include <windows.h>

// The wheel's zoom steps, from an eighth to eight times the natural size.
class CZoom
{
public:
    enum
    {
        STEP_COUNT = 12,
        NATURAL_STEP = 5,
    };

    // The step nNotches of the wheel away (positive: larger), kept within
    // the steps.
    static int StepBy(int nStep, int nNotches);
    // A picture side of nLength pixels at the step: rounded, at least 1.
    static int Length(int nLength, int nStep);
    static SIZE Size(SIZE natural, int nStep);
    // Where a window showing the picture at nFromStep, its top-left corner
    // at ptWindow, goes at nToStep so that the picture point under ptCursor
    // stays under it.
    static POINT Origin(POINT ptWindow, POINT ptCursor, int nFromStep, int nToStep);
};
