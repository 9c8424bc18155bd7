// A GIF's frames composed onto its screen through the imaging component:
// disposal, transparency, position, delays and passes.

#include "draw/GifFrames.h"
#include "draw/Scale.h"
#include "tests/support/GifWriter.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
const COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255), kWhite = RGB(255, 255, 255);
// Palette indices.
const BYTE R = 0, G = 1, B = 2, W = 3;
// Canvas pixels as 0xAARRGGBB; T is transparent.
const DWORD cR = 0xFFFF0000, cG = 0xFF00FF00, cB = 0xFF0000FF, T = 0;

SGifFrame Frame(int nLeft, int cx, std::vector<BYTE> vecIndices, int nDisposal = 0, int nTransparent = -1,
                int nDelay = 5)
{
    return SGifFrame{nLeft, 0, cx, 1, nDelay, nDisposal, nTransparent, std::move(vecIndices), 0};
}

class CCanvas
{
public:
    CCanvas(int cx, int cy) : m_vec(static_cast<size_t>(cx) * cy, 0xDEADBEEF), m_cx(cx), m_cy(cy) {}
    KelDraw::SPixelRows Rows()
    {
        return KelDraw::SPixelRows{reinterpret_cast<BYTE*>(m_vec.data()), m_cx, m_cy, static_cast<LONG_PTR>(m_cx) * 4};
    }
    std::vector<DWORD> m_vec;
    int m_cx, m_cy;
};

std::string Hex(const std::vector<DWORD>& vec)
{
    std::string s;
    char sz[12];
    for (DWORD c : vec)
    {
        wsprintfA(sz, "%08X ", c);
        s += sz;
    }
    return s;
}
} // namespace

// Each case: the frames of a 4 x 1 screen, shown in turn, and the canvas once
// the last has been drawn.
TEST(GifFramesTest, DisposalTransparencyAndPlaceTable)
{
    struct SCase
    {
        const char* pszName;
        std::vector<SGifFrame> vecFrames;
        std::vector<DWORD> vecExpected;
    };
    const std::vector<SCase> vecCases = {
        {"a first frame with a transparent index leaves those pixels transparent",
         {Frame(0, 4, {W, R, W, R}, 0, W), Frame(0, 1, {G})},
         {cG, cR, T, cR}},
        {"no disposal leaves each frame under the next",
         {Frame(0, 4, {R, R, R, R}), Frame(1, 2, {G, G}), Frame(2, 1, {B})},
         {cR, cG, cB, cR}},
        {"disposal 1 leaves the frame in place as well",
         {Frame(0, 4, {R, R, R, R}, 1), Frame(1, 2, {G, G}, 1), Frame(3, 1, {B})},
         {cR, cG, cG, cB}},
        {"disposal 2 clears the frame's rectangle to transparent",
         {Frame(0, 4, {R, R, R, R}), Frame(0, 2, {G, G}, 2), Frame(3, 1, {B})},
         {T, T, cR, cB}},
        {"disposal 3 puts back what the frame covered",
         {Frame(0, 4, {R, R, R, R}), Frame(1, 2, {G, G}, 3), Frame(3, 1, {B})},
         {cR, cR, cR, cB}},
        {"disposal 3 on a frame over a transparent part restores transparency",
         {Frame(0, 2, {R, R}), Frame(2, 2, {G, G}, 3), Frame(0, 1, {B})},
         {cB, cR, T, T}},
        {"the transparent index shows the frame below",
         {Frame(0, 4, {R, R, R, R}), Frame(0, 4, {W, G, W, G}, 0, W)},
         {cR, cG, cR, cG}},
        {"a frame reaching past the screen is cut at its edge",
         {Frame(0, 4, {R, R, R, R}), Frame(2, 4, {G, B, G, B})},
         {cR, cR, cG, cB}},
        {"a frame wholly outside the screen draws nothing",
         {Frame(0, 4, {R, R, R, R}), Frame(9, 2, {G, G})},
         {cR, cR, cR, cR}},
        {"an index past the palette draws nothing",
         {Frame(0, 4, {R, R, R, R}), Frame(0, 2, {G, 255})},
         {cG, cR, cR, cR}},
    };
    CTempFolder folder;
    for (const SCase& test : vecCases)
    {
        SCOPED_TRACE(test.pszName);
        const std::vector<COLORREF> vecPalette = {kRed, kGreen, kBlue, kWhite};
        const std::wstring strPath = folder.Write(L"t.gif", GifBytes(4, 1, vecPalette, test.vecFrames));
        KelDraw::CGifFrames frames;
        ASSERT_TRUE(frames.Open(strPath.c_str()));
        ASSERT_EQ(4u, frames.Width());
        ASSERT_EQ(1u, frames.Height());
        ASSERT_EQ(test.vecFrames.size(), frames.FrameCount());
        CCanvas canvas(4, 1);
        ASSERT_EQ(KelDraw::CGifFrames::STEP_DRAWN, frames.Restart(canvas.Rows()));
        for (size_t i = 1; i < test.vecFrames.size(); ++i)
        {
            ASSERT_EQ(KelDraw::CGifFrames::STEP_DRAWN, frames.Next(canvas.Rows()));
            EXPECT_EQ(i, frames.Frame());
        }
        EXPECT_EQ(Hex(test.vecExpected), Hex(canvas.m_vec));
    }
}

TEST(GifFramesTest, DelaysAsBrowsersShowThem)
{
    // In hundredths as the file says; -1: the frame has no control block.
    const struct
    {
        int nDelay;
        UINT nExpectedMs;
    } cases[] = {{0, 100}, {1, 100}, {2, 20}, {7, 70}, {150, 1500}, {-1, 100}};
    CTempFolder folder;
    std::vector<SGifFrame> vecFrames = {Frame(0, 1, {R}, 0, -1, 4)};
    for (const auto& test : cases)
        vecFrames.push_back(Frame(0, 1, {G}, 0, -1, test.nDelay));
    const std::wstring strPath = folder.Write(L"delays.gif", GifBytes(1, 1, {kRed, kGreen}, vecFrames));
    KelDraw::CGifFrames frames;
    ASSERT_TRUE(frames.Open(strPath.c_str()));
    CCanvas canvas(1, 1);
    ASSERT_EQ(KelDraw::CGifFrames::STEP_DRAWN, frames.Restart(canvas.Rows()));
    EXPECT_EQ(40u, frames.DelayMs());
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.nDelay);
        ASSERT_EQ(KelDraw::CGifFrames::STEP_DRAWN, frames.Next(canvas.Rows()));
        EXPECT_EQ(test.nExpectedMs, frames.DelayMs());
    }
}

TEST(GifFramesTest, PassesAsTheLoopingBlockSays)
{
    // The block's count is of repeats after the first pass; none, or 0, plays
    // for ever. Each pass starts again on a cleared canvas.
    const struct
    {
        int nRepeats;
        UINT nPlays;
    } cases[] = {{-1, 0}, {0, 0}, {1, 2}, {2, 3}};
    CTempFolder folder;
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.nRepeats);
        const std::wstring strPath = folder.Write(
            L"loop.gif", GifBytes(2, 1, {kRed, kGreen}, {Frame(0, 1, {R}), Frame(1, 1, {G})}, test.nRepeats));
        KelDraw::CGifFrames frames;
        ASSERT_TRUE(frames.Open(strPath.c_str()));
        EXPECT_EQ(test.nPlays, frames.Plays());
        CCanvas canvas(2, 1);
        ASSERT_EQ(KelDraw::CGifFrames::STEP_DRAWN, frames.Restart(canvas.Rows()));
        EXPECT_EQ(Hex({cR, T}), Hex(canvas.m_vec));
        // Playing on for ever is seen as more passes than any finite count here.
        const UINT nPasses = test.nPlays ? test.nPlays : 5;
        for (UINT nPass = 0; nPass < nPasses; ++nPass)
        {
            if (nPass > 0)
            {
                ASSERT_EQ(KelDraw::CGifFrames::STEP_DRAWN, frames.Next(canvas.Rows()));
                EXPECT_EQ(0u, frames.Frame());
                EXPECT_EQ(Hex({cR, T}), Hex(canvas.m_vec)) << "pass " << nPass;
            }
            ASSERT_EQ(KelDraw::CGifFrames::STEP_DRAWN, frames.Next(canvas.Rows()));
            EXPECT_EQ(1u, frames.Frame());
        }
        if (test.nPlays)
        {
            EXPECT_EQ(KelDraw::CGifFrames::STEP_END, frames.Next(canvas.Rows()));
            EXPECT_EQ(Hex({cR, cG}), Hex(canvas.m_vec)) << "the last frame stays";
        }
    }
}

TEST(GifFramesTest, OnlyGifsOfSeveralFramesOpen)
{
    CTempFolder folder;
    const struct
    {
        const char* pszName;
        std::string strBytes;
    } cases[] = {
        {"one frame", GifBytes(2, 1, {kRed}, {Frame(0, 2, {R, R})})},
        {"a BMP", BmpBytes(2, 2, kRed)},
        {"a GIF cut short", GifBytes(4, 1, {kRed, kGreen}, {Frame(0, 4, {R, R, R, R}), Frame(0, 4, {G, G, G, G})})
                                .substr(0, 40)},
        {"not a picture", "GIF89a but then nothing of the kind"},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        KelDraw::CGifFrames frames;
        EXPECT_FALSE(frames.Open(folder.Write(L"f.gif", test.strBytes).c_str()));
    }
    // Nor a file whose stamp is no longer the one its picture was read with.
    const std::wstring strPath =
        folder.Write(L"two.gif", GifBytes(2, 1, {kRed, kGreen}, {Frame(0, 1, {R}), Frame(1, 1, {G})}));
    KelDraw::SFileStamp stamp;
    ASSERT_TRUE(KelDraw::ReadFileStamp(strPath.c_str(), &stamp));
    KelDraw::CGifFrames frames;
    EXPECT_TRUE(frames.Open(strPath.c_str(), &stamp));
    stamp.cbSize += 1;
    EXPECT_FALSE(frames.Open(strPath.c_str(), &stamp));
    EXPECT_FALSE(frames.Open(folder.Path(L"missing.gif").c_str()));
}
