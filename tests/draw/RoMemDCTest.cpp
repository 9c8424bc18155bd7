#include "draw/RoMemDC.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace TestSupport;

namespace
{
const COLORREF kGrey = RGB(50, 60, 70);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);

uint32_t Argb(COLORREF clr)
{
    return 0xFF000000u | (GetRValue(clr) << 16) | (GetGValue(clr) << 8) | GetBValue(clr);
}

// A 200 x 100 target: a memory DC holding a grey 32-bit DIB section.
class RoMemDCTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dcTarget.CreateCompatibleDC(nullptr);
        BITMAPINFO bmi = {};
        bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, -100, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* pBits = nullptr;
        m_hTarget = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
        m_hOld = ::SelectObject(m_dcTarget.m_hDC, m_hTarget);
        m_dcTarget.FillSolidRect(RECT{0, 0, 200, 100}, kGrey);
    }
    void TearDown() override
    {
        ::SelectObject(m_dcTarget.m_hDC, m_hOld);
        ::DeleteObject(m_hTarget);
    }
    uint32_t TargetAt(int x, int y) { return ReadBitmap(m_hTarget).At(x, y) | 0xFF000000u; }

    CDC m_dcTarget;
    HBITMAP m_hTarget = nullptr;
    HGDIOBJ m_hOld = nullptr;
};
} // namespace

TEST_F(RoMemDCTest, CopiesItsRectangleAtTheSameLogicalPoints)
{
    const RECT rc = {10, 20, 110, 70};
    {
        KelDraw::CRoMemDC dcBuffer(m_dcTarget.m_hDC, &rc);
        dcBuffer.FillSolidRect(rc, kWhite);
        ::SetPixelV(dcBuffer.m_hDC, 10, 20, kRed);
        ::SetPixelV(dcBuffer.m_hDC, 5, 5, kRed); // outside the buffer
        EXPECT_EQ(Argb(kGrey), TargetAt(10, 20)) << "nothing reaches the target before Finish";
    }
    EXPECT_EQ(Argb(kRed), TargetAt(10, 20));
    EXPECT_EQ(Argb(kWhite), TargetAt(109, 69));
    EXPECT_EQ(Argb(kGrey), TargetAt(5, 5));
    EXPECT_EQ(Argb(kGrey), TargetAt(9, 19));
    EXPECT_EQ(Argb(kGrey), TargetAt(110, 70));
}

TEST_F(RoMemDCTest, FinishesOnlyOnce)
{
    const RECT rc = {10, 20, 110, 70};
    KelDraw::CRoMemDC dcBuffer(m_dcTarget.m_hDC, &rc);
    dcBuffer.FillSolidRect(rc, kWhite);
    HBITMAP hBuffer = dcBuffer.m_hBitmap;
    dcBuffer.Finish();
    EXPECT_EQ(0u, ::GetObjectType(hBuffer)) << "the buffer bitmap is deleted at Finish";
    EXPECT_EQ(nullptr, dcBuffer.m_hTargetDC);

    m_dcTarget.FillSolidRect(rc, kGrey);
    dcBuffer.Finish();
    EXPECT_EQ(Argb(kGrey), TargetAt(50, 50)) << "a second Finish copies nothing";
}

TEST_F(RoMemDCTest, CopyBitmapLeavesTheBufferAndItsTarget)
{
    // At the origin and away from it: the copy is the buffer's rectangle.
    for (const RECT& rc : {RECT{0, 0, 88, 82}, RECT{30, 10, 118, 92}})
    {
        SCOPED_TRACE(::testing::Message() << "buffer at " << rc.left << "," << rc.top);
        m_dcTarget.FillSolidRect(RECT{0, 0, 200, 100}, kGrey);
        HBITMAP hCopy = nullptr;
        {
            KelDraw::CRoMemDC dcBuffer(m_dcTarget.m_hDC, &rc);
            dcBuffer.FillSolidRect(rc, kWhite);
            dcBuffer.FillSolidRect(RECT{rc.left + 30, rc.top + 40, rc.left + 60, rc.top + 41}, kRed);
            hCopy = dcBuffer.CopyBitmap();
            ASSERT_NE(nullptr, hCopy);
            ::SetPixelV(dcBuffer.m_hDC, rc.right - 1, rc.bottom - 1, kRed); // after the copy: only in the buffer
        }
        const CPixels copy = ReadBitmap(hCopy);
        ::DeleteObject(hCopy);
        ASSERT_EQ(88, copy.cx);
        ASSERT_EQ(82, copy.cy);
        for (int y = 0; y < 82; ++y)
            for (int x = 0; x < 88; ++x)
            {
                const COLORREF clr = (y == 40 && x >= 30 && x < 60) ? kRed : kWhite;
                ASSERT_EQ(Argb(clr) & 0xFFFFFF, copy.At(x, y) & 0xFFFFFF) << x << "," << y;
            }
        EXPECT_EQ(Argb(kRed), TargetAt(rc.right - 1, rc.bottom - 1));
        EXPECT_EQ(Argb(kRed), TargetAt(rc.left + 30, rc.top + 40));
    }
}

TEST_F(RoMemDCTest, BufferOverAnotherBufferLandsInThatBuffer)
{
    const RECT rcOuter = {0, 0, 100, 100};
    const RECT rcInner = {10, 10, 30, 30};
    KelDraw::CRoMemDC dcOuter(m_dcTarget.m_hDC, &rcOuter);
    dcOuter.FillSolidRect(rcOuter, kWhite);
    {
        KelDraw::CRoMemDC dcInner(dcOuter.m_hDC, &rcInner);
        dcInner.FillSolidRect(rcInner, kRed);
    }
    EXPECT_EQ(Argb(kGrey), TargetAt(15, 15)) << "the inner buffer must not reach the target";
    EXPECT_EQ(RGB(255, 0, 0), ::GetPixel(dcOuter.m_hDC, 15, 15));
    dcOuter.Finish();
    EXPECT_EQ(Argb(kRed), TargetAt(15, 15));
    EXPECT_EQ(Argb(kWhite), TargetAt(50, 50));
}

TEST_F(RoMemDCTest, BufferTooLargeForMemoryDrawsNothingAndCopiesNothing)
{
    // Without a buffer bitmap the DC holds its stock 1 x 1 bitmap: nothing of
    // it may reach the target, wherever the rectangle starts.
    for (const RECT& rc : {RECT{0, 0, 100000, 100000}, RECT{20, 10, 60020, 60010}})
    {
        SCOPED_TRACE(::testing::Message() << "buffer at " << rc.left << "," << rc.top);
        KelDraw::CRoMemDC dcBuffer(m_dcTarget.m_hDC, &rc);
        EXPECT_EQ(nullptr, dcBuffer.m_hBitmap);
        EXPECT_EQ(nullptr, dcBuffer.CopyBitmap());
        dcBuffer.FillSolidRect(RECT{0, 0, 10, 10}, kRed);
        dcBuffer.Finish();
        const CPixels target = ReadBitmap(m_hTarget);
        for (int y = 0; y < target.cy; ++y)
            for (int x = 0; x < target.cx; ++x)
                ASSERT_EQ(Argb(kGrey) & 0xFFFFFF, target.At(x, y) & 0xFFFFFF) << x << "," << y;
    }
}

TEST_F(RoMemDCTest, AlphaBufferStartsTransparentAndKeepsAlpha)
{
    const RECT rc = {0, 0, 4, 2};
    KelDraw::CRoMemDC dcBuffer(m_dcTarget.m_hDC, &rc, TRUE);
    const CPixels pixels = ReadSelectedBitmap(dcBuffer.m_hDC);
    ASSERT_EQ(4, pixels.cx);
    ASSERT_EQ(2, pixels.cy);
    for (uint32_t c : pixels.argb)
        EXPECT_EQ(0u, c);
}

TEST_F(RoMemDCTest, DiscardLetsTheBufferGoWithoutCopying)
{
    const RECT rc = {10, 20, 110, 70};
    HBITMAP hBuffer = nullptr;
    {
        KelDraw::CRoMemDC dcBuffer(m_dcTarget.m_hDC, &rc);
        dcBuffer.FillSolidRect(rc, kRed);
        hBuffer = dcBuffer.m_hBitmap;
        dcBuffer.Discard();
        EXPECT_EQ(0u, ::GetObjectType(hBuffer)) << "the buffer bitmap is deleted at Discard";
        EXPECT_EQ(nullptr, dcBuffer.CopyBitmap()) << "nothing to copy after Discard";
        dcBuffer.Finish();
    }
    EXPECT_EQ(Argb(kGrey), TargetAt(10, 20)) << "neither Discard, Finish nor the destructor copied";
    EXPECT_EQ(Argb(kGrey), TargetAt(60, 40));
}

TEST_F(RoMemDCTest, BufferWithoutTargetIsLetGoOnEveryPath)
{
    // An alpha buffer needs no target DC; whichever way it ends, its bitmap
    // goes and is no longer selected when the DC is deleted.
    enum EEnd { kDiscard, kFinish, kDestructor };
    for (EEnd eEnd : {kDiscard, kFinish, kDestructor})
    {
        SCOPED_TRACE(::testing::Message() << "end " << eEnd);
        const RECT rc = {10, 20, 30, 40};
        HBITMAP hBuffer = nullptr;
        {
            KelDraw::CRoMemDC dcBuffer(nullptr, &rc, TRUE);
            hBuffer = dcBuffer.m_hBitmap;
            ASSERT_NE(nullptr, hBuffer);
            if (eEnd == kDiscard)
                dcBuffer.Discard();
            else if (eEnd == kFinish)
                dcBuffer.Finish();
            if (eEnd != kDestructor)
            {
                EXPECT_EQ(0u, ::GetObjectType(hBuffer)) << "the buffer bitmap is deleted";
                EXPECT_NE(static_cast<HGDIOBJ>(hBuffer), ::GetCurrentObject(dcBuffer.m_hDC, OBJ_BITMAP));
                EXPECT_EQ(nullptr, dcBuffer.CopyBitmap());
            }
        }
        EXPECT_EQ(0u, ::GetObjectType(hBuffer)) << "the buffer bitmap outlived its DC";
    }
}
