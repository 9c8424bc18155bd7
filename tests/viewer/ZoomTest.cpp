#include "viewer/Zoom.h"

#include <gtest/gtest.h>

TEST(ZoomTest, StepsRunFromAnEighthToEightTimesAndStopThere)
{
    const SIZE natural = {4000, 3000};
    const SIZE expected[CZoom::STEP_COUNT] = {{500, 375},   {1000, 750},   {1333, 1000},  {2000, 1500},
                                              {2667, 2000}, {4000, 3000},  {6000, 4500},  {8000, 6000},
                                              {12000, 9000}, {16000, 12000}, {24000, 18000}, {32000, 24000}};
    for (int nStep = 0; nStep < CZoom::STEP_COUNT; ++nStep)
    {
        SCOPED_TRACE(nStep);
        const SIZE size = CZoom::Size(natural, nStep);
        EXPECT_EQ(expected[nStep].cx, size.cx);
        EXPECT_EQ(expected[nStep].cy, size.cy);
    }
    EXPECT_EQ(4000, CZoom::Length(4000, CZoom::NATURAL_STEP));
    EXPECT_EQ(1, CZoom::Length(3, 0)) << "a sliver keeps a pixel";

    struct SCase
    {
        int nFrom, nNotches, nTo;
    };
    const SCase cases[] = {{5, 1, 6}, {5, -1, 4}, {5, 3, 8}, {0, -1, 0}, {11, 2, 11}, {2, -5, 0}};
    for (const SCase& c : cases)
        EXPECT_EQ(c.nTo, CZoom::StepBy(c.nFrom, c.nNotches)) << c.nFrom << " by " << c.nNotches;
}

TEST(ZoomTest, ThePointUnderTheCursorStaysWhereItIs)
{
    const POINT ptWindow = {100, 200};
    struct SCase
    {
        POINT ptCursor;
        int nFrom, nTo;
        POINT ptExpected;
    };
    const SCase cases[] = {
        // Natural to double: the point 50, 40 into the picture moves to 100, 80.
        {{150, 240}, 5, 7, {50, 160}},
        // And back.
        {{150, 240}, 7, 5, {125, 220}},
        // At the corner the corner stays.
        {{100, 200}, 5, 0, {100, 200}},
        // Natural to a quarter: 400, 300 in becomes 100, 75 in.
        {{500, 500}, 5, 1, {400, 425}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.nFrom << " to " << c.nTo);
        const POINT pt = CZoom::Origin(ptWindow, c.ptCursor, c.nFrom, c.nTo);
        EXPECT_EQ(c.ptExpected.x, pt.x);
        EXPECT_EQ(c.ptExpected.y, pt.y);
    }

    // Many notches there and back end where they started, to the pixel.
    POINT pt = ptWindow;
    const POINT ptCursor = {333, 277};
    int nStep = CZoom::NATURAL_STEP;
    for (int nNotches : {1, 1, 1, -1, -1, -1, -1, -1, -1, 1, 1, 1})
    {
        const int nNext = CZoom::StepBy(nStep, nNotches);
        pt = CZoom::Origin(pt, ptCursor, nStep, nNext);
        nStep = nNext;
    }
    EXPECT_EQ(ptWindow.x, pt.x);
    EXPECT_EQ(ptWindow.y, pt.y);
}
