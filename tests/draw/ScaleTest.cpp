#include "draw/Scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{
// A picture in memory, top row first.
struct SPicture
{
    int cx, cy;
    std::vector<uint32_t> vecPixels;

    SPicture(int cxIn, int cyIn, std::vector<uint32_t> vecIn = {}) : cx(cxIn), cy(cyIn), vecPixels(std::move(vecIn))
    {
        vecPixels.resize(static_cast<size_t>(cx) * cy);
    }
    KelDraw::SPixelRows Rows() { return {reinterpret_cast<BYTE*>(vecPixels.data()), cx, cy, cx * 4}; }
    uint32_t At(int x, int y) const { return vecPixels[static_cast<size_t>(y) * cx + x]; }
};

SPicture Scaled(SPicture source, int cx, int cy)
{
    SPicture target(cx, cy);
    EXPECT_TRUE(KelDraw::ScalePixels(source.Rows(), target.Rows()));
    return target;
}
} // namespace

TEST(ScaleTest, ShrinkingAveragesTheAreaEachPixelCovers)
{
    struct SCase
    {
        const char* pszWhat;
        SPicture source;
        int cx, cy;
        std::vector<uint32_t> vecExpected;
    };
    const SCase cases[] = {
        {"halves", SPicture(4, 2, {0xFF000000, 0xFF0000FE, 0xFF00FF00, 0xFF00FF00, 0xFF000000, 0xFF000000, 0xFF00FF00,
                                   0xFF000000}),
         2, 1, {0xFF000040, 0xFF00BF00}},
        // Premultiplied: opaque white beside nothing is half-covered grey.
        {"alpha", SPicture(2, 1, {0xFFFFFFFF, 0x00000000}), 1, 1, {0x80808080}},
        // Two thirds: every target pixel straddles source pixels.
        {"a flat colour stays flat", SPicture(3, 3, std::vector<uint32_t>(9, 0xC0604020)), 2, 2,
         std::vector<uint32_t>(4, 0xC0604020)},
        {"an eighth", SPicture(16, 8, std::vector<uint32_t>(128, 0x7F7F0000)), 2, 1, {0x7F7F0000, 0x7F7F0000}},
        // Three pixels into two: the middle one is shared half and half.
        {"straddling", SPicture(3, 1, {0xFF000000, 0xFF00005A, 0xFF0000F0}), 2, 1, {0xFF00001E, 0xFF0000BE}},
    };
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(test.pszWhat);
        const SPicture target = Scaled(test.source, test.cx, test.cy);
        for (size_t i = 0; i < test.vecExpected.size(); ++i)
            EXPECT_EQ(test.vecExpected[i], target.vecPixels[i]) << std::hex << "pixel " << i;
    }
}

TEST(ScaleTest, ShrinkingKeepsTheCoverageOfAPictureWithAlpha)
{
    SPicture source(301, 199);
    uint64_t nAlpha = 0;
    for (int y = 0; y < source.cy; ++y)
        for (int x = 0; x < source.cx; ++x)
        {
            const uint32_t a = static_cast<uint32_t>((x * 7 + y * 13) % 256);
            source.vecPixels[static_cast<size_t>(y) * source.cx + x] = a << 24 | (a / 2) << 16 | (a / 3) << 8 | a / 4;
            nAlpha += a;
        }
    for (int nDivisor : {2, 3, 8})
    {
        SCOPED_TRACE(nDivisor);
        const SPicture target = Scaled(source, source.cx / nDivisor, source.cy / nDivisor);
        uint64_t nTargetAlpha = 0;
        for (uint32_t argb : target.vecPixels)
        {
            const uint32_t a = argb >> 24;
            nTargetAlpha += a;
            // Premultiplied colour never exceeds its alpha.
            ASSERT_LE((argb >> 16) & 0xFF, a);
            ASSERT_LE(argb & 0xFF, a);
        }
        const double dArea = static_cast<double>(source.cx) * source.cy / (static_cast<double>(target.cx) * target.cy);
        EXPECT_NEAR(static_cast<double>(nAlpha), nTargetAlpha * dArea, nAlpha * 0.01);
    }
}

TEST(ScaleTest, EnlargingKeepsPixelsSharp)
{
    SPicture source(2, 2, {0xFF0000FF, 0x80008000, 0x00000000, 0xFFFFFFFF});
    const SPicture target = Scaled(source, 6, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(source.At(x / 3, y / 3), target.At(x, y)) << x << "," << y;

    // A bottom-up target, as a DIB section holds it, the right way up.
    std::vector<uint32_t> vecBottomUp(36);
    KelDraw::SPixelRows rows = {reinterpret_cast<BYTE*>(vecBottomUp.data() + 30), 6, 6, -6 * 4};
    ASSERT_TRUE(KelDraw::ScalePixels(source.Rows(), rows));
    EXPECT_EQ(source.At(0, 0), vecBottomUp[30]);
    EXPECT_EQ(source.At(1, 1), vecBottomUp[5]);
}
