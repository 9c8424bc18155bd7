// An animated GIF plays in the viewer: its frames in order at their delays,
// one layered update each, looping as the file says, paused while the viewer
// is not seen, stopped by another choice, zoomed like any picture.

#include "viewer/TarvoMainWnd.h"

#include "framework/WinApp.h"
#include "strip/TarvoToolWnd.h"
#include "tests/support/GifWriter.h"
#include "tests/support/LayeredSpy.h"
#include "tests/support/TestSupport.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
const DWORD kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// Three full frames of 40 x 30, red, green and blue, shown for 30, 50 and
// 80 ms; nRepeats as GifBytes takes it.
std::string ThreeFrames(int nRepeats = -1)
{
    const auto Full = [](BYTE nIndex, int nDelay) { return SGifFrame{0, 0, 40, 30, nDelay, 0, -1, {}, nIndex}; };
    return GifBytes(40, 30, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}, {Full(0, 3), Full(1, 5), Full(2, 8)},
                    nRepeats);
}

// Each layered update's size and the colour at its centre, after the common
// spy has taken its copy.
struct SFrameSpy
{
    static void Install(CTarvoMainWnd* pViewer)
    {
        SLayeredSpy::Install(pViewer);
        s_vecColours.clear();
        s_vecSizes.clear();
        pViewer->m_pfnUpdateLayeredWindow = Update;
    }
    static BOOL WINAPI Update(HWND hWnd, HDC hdcDst, POINT* pptDst, SIZE* psize, HDC hdcSrc, POINT* pptSrc,
                              COLORREF crKey, BLENDFUNCTION* pblend, DWORD dwFlags)
    {
        const BOOL bDone = SLayeredSpy::Update(hWnd, hdcDst, pptDst, psize, hdcSrc, pptSrc, crKey, pblend, dwFlags);
        const CPixels& buffer = SLayeredSpy::s_buffer;
        s_vecColours.push_back(buffer.Empty() ? 0 : buffer.At(buffer.cx / 2, buffer.cy / 2));
        s_vecSizes.push_back(*psize);
        return bDone;
    }
    static inline std::vector<DWORD> s_vecColours;
    static inline std::vector<SIZE> s_vecSizes;
};

std::string Names(const std::vector<DWORD>& vecColours, size_t nFrom = 0)
{
    std::string s;
    for (size_t i = nFrom; i < vecColours.size(); ++i)
    {
        const DWORD c = vecColours[i];
        s += c == kRed ? "R" : c == kGreen ? "G" : c == kBlue ? "B" : "?";
    }
    return s;
}

// Whether the colours from nFrom on follow the frames' cycle, starting at
// the frame named first.
bool InCycle(const std::vector<DWORD>& vecColours, size_t nFrom, char cFirst)
{
    const std::string strCycle = "RGB";
    size_t nAt = strCycle.find(cFirst);
    for (const char c : Names(vecColours, nFrom))
    {
        if (c != strCycle[nAt % 3])
            return false;
        ++nAt;
    }
    return true;
}

class ViewerPlaybackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        SFrameSpy::Install(m_pViewer);
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    }
    void TearDown() override
    {
        // Destroyed while it plays, as the program quits.
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    // Chooses the file as the strip does and waits until it is on the screen;
    // the updates recorded start with its first.
    bool Show(const std::wstring& strPath, BOOL bReload = TRUE)
    {
        SFrameSpy::s_vecColours.clear();
        SFrameSpy::s_vecSizes.clear();
        m_pViewer->OnElemSelect(0, L"", strPath.c_str(), bReload);
        return PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }, 5000, m_pViewer);
    }
    bool UpdatesReach(size_t nCount)
    {
        return PumpUntil([nCount] { return SFrameSpy::s_vecColours.size() >= nCount; }, 20000, m_pViewer);
    }
    // Whether the viewer had a frame timer (it is gone after the call).
    bool HadTimer() { return ::KillTimer(m_hWnd, CTarvoMainWnd::TIMER_PLAY) != FALSE; }

    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerPlaybackTest, FramesFollowInOrderOneUpdateEachAndLoopForEver)
{
    CTempFolder folder;
    ASSERT_TRUE(Show(folder.Write(L"three.gif", ThreeFrames())));
    // Nine updates are three passes: no block in the file plays for ever.
    ASSERT_TRUE(UpdatesReach(9)) << Names(SFrameSpy::s_vecColours);
    EXPECT_TRUE(InCycle(SFrameSpy::s_vecColours, 0, 'R')) << Names(SFrameSpy::s_vecColours);
    EXPECT_TRUE(m_pViewer->IsPlaying());
    // The picture is the frame on the screen: the copy the user asks for too.
    EXPECT_EQ(40, SFrameSpy::s_vecSizes.back().cx);
    EXPECT_EQ(30, SFrameSpy::s_vecSizes.back().cy);
}

TEST_F(ViewerPlaybackTest, ALoopCountPlaysThatManyPassesAndTheLastFrameStaysOnTheScreen)
{
    CTempFolder folder;
    // One repeat: two passes.
    ASSERT_TRUE(Show(folder.Write(L"twice.gif", ThreeFrames(1))));
    ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->IsPlaying(); }, 20000, m_pViewer));
    EXPECT_FALSE(HadTimer());
    const size_t nUpdates = SFrameSpy::s_vecColours.size();
    PumpFor(300, m_pViewer);
    EXPECT_EQ(nUpdates, SFrameSpy::s_vecColours.size());
    EXPECT_EQ("RGBRGB", Names(SFrameSpy::s_vecColours));

    const RECT rc = WindowRect(m_hWnd);
    const CPixels shot = ScreenShot(rc);
    ASSERT_FALSE(shot.Empty());
    const uint32_t c = shot.At(shot.cx / 2, shot.cy / 2);
    EXPECT_LE(Red(c), 1);
    EXPECT_LE(Green(c), 1);
    EXPECT_GE(Blue(c), 254);
}

TEST_F(ViewerPlaybackTest, AnotherChoiceStopsTheTimerAndTheGifStartsAgainFromItsFirstFrame)
{
    CTempFolder folder;
    const std::wstring strGif = folder.Write(L"three.gif", ThreeFrames());
    const std::wstring strBmp = folder.Write(L"grey.bmp", BmpBytes(20, 10, RGB(128, 128, 128)));
    for (const BOOL bReload : {TRUE, FALSE})
    {
        SCOPED_TRACE(bReload ? "read afresh" : "as kept for a step back");
        ASSERT_TRUE(Show(strGif, bReload));
        // Stopped on its second frame or later.
        ASSERT_TRUE(UpdatesReach(2));
        EXPECT_TRUE(InCycle(SFrameSpy::s_vecColours, 0, 'R')) << Names(SFrameSpy::s_vecColours);

        ASSERT_TRUE(Show(strBmp));
        EXPECT_FALSE(m_pViewer->IsPlaying());
        EXPECT_FALSE(HadTimer());
        PumpFor(300, m_pViewer);
        ASSERT_EQ(1u, SFrameSpy::s_vecColours.size()) << "only the bitmap's update";
        EXPECT_EQ(20, SFrameSpy::s_vecSizes[0].cx);
    }
    // Chosen again, however it was kept, it plays from its first frame.
    ASSERT_TRUE(Show(strGif, FALSE));
    ASSERT_TRUE(UpdatesReach(4));
    EXPECT_TRUE(InCycle(SFrameSpy::s_vecColours, 0, 'R')) << Names(SFrameSpy::s_vecColours);
}

TEST_F(ViewerPlaybackTest, AMinimisedOrHiddenViewerWaitsAndPlaysOnWhenSeenAgain)
{
    CTempFolder folder;
    ASSERT_TRUE(Show(folder.Write(L"three.gif", ThreeFrames())));
    const struct
    {
        const char* pszName;
        int nHide, nShow;
    } cases[] = {{"minimised", SW_MINIMIZE, SW_RESTORE}, {"hidden", SW_HIDE, SW_SHOWNA}};
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        ASSERT_TRUE(UpdatesReach(SFrameSpy::s_vecColours.size() + 2));
        ::ShowWindow(m_hWnd, test.nHide);
        EXPECT_FALSE(m_pViewer->IsPlaying());
        EXPECT_FALSE(HadTimer());
        const size_t nUpdates = SFrameSpy::s_vecColours.size();
        PumpFor(300, m_pViewer);
        EXPECT_EQ(nUpdates, SFrameSpy::s_vecColours.size());

        ::ShowWindow(m_hWnd, test.nShow);
        EXPECT_TRUE(m_pViewer->IsPlaying());
        ASSERT_TRUE(UpdatesReach(nUpdates + 3));
        // It goes on from the frame it stopped at.
        EXPECT_TRUE(InCycle(SFrameSpy::s_vecColours, 0, 'R')) << Names(SFrameSpy::s_vecColours);
    }
}

TEST_F(ViewerPlaybackTest, ZoomAppliesToEveryFrame)
{
    CTempFolder folder;
    ASSERT_TRUE(Show(folder.Write(L"three.gif", ThreeFrames())));
    ASSERT_TRUE(m_pViewer->OnViewKey(VK_ADD));
    const size_t nZoomed = SFrameSpy::s_vecColours.size();
    ASSERT_TRUE(UpdatesReach(nZoomed + 4));
    const RECT rc = WindowRect(m_hWnd);
    EXPECT_EQ(60, rc.right - rc.left);
    EXPECT_EQ(45, rc.bottom - rc.top);
    for (size_t i = nZoomed; i < SFrameSpy::s_vecSizes.size(); ++i)
    {
        EXPECT_EQ(60, SFrameSpy::s_vecSizes[i].cx);
        EXPECT_EQ(45, SFrameSpy::s_vecSizes[i].cy);
    }
    // The zoom pushed the frame shown once more, at its new size; the frames
    // then go on in turn.
    std::vector<DWORD> vecFrames = SFrameSpy::s_vecColours;
    ASSERT_GE(nZoomed, 2u);
    EXPECT_EQ(vecFrames[nZoomed - 2], vecFrames[nZoomed - 1]);
    vecFrames.erase(vecFrames.begin() + static_cast<std::ptrdiff_t>(nZoomed - 1));
    EXPECT_TRUE(InCycle(vecFrames, 0, 'R')) << Names(SFrameSpy::s_vecColours);
    // The window stays where the zoom put it.
    const RECT rcLater = WindowRect(m_hWnd);
    EXPECT_TRUE(::EqualRect(&rc, &rcLater));
}

TEST_F(ViewerPlaybackTest, FramesOnPartOfTheScreenKeepTheRestTransparent)
{
    CTempFolder folder;
    // A 40 x 30 screen: a red square of 10 at (10, 10), then green over the
    // left half with a transparent column, cleared after it is shown.
    std::vector<BYTE> vecHalf(20 * 30, 1);
    for (int y = 0; y < 30; ++y)
        vecHalf[static_cast<size_t>(y) * 20 + 15] = 3;
    const std::string strGif =
        GifBytes(40, 30, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)},
                 {SGifFrame{10, 10, 10, 10, 3, 0, -1, {}, 0}, SGifFrame{0, 0, 20, 30, 3, 2, 3, vecHalf, 0},
                  SGifFrame{30, 0, 10, 30, 3, 0, -1, {}, 2}},
                 0);
    ASSERT_TRUE(Show(folder.Write(L"parts.gif", strGif)));
    ASSERT_TRUE(UpdatesReach(3));
    // The next frame shown is the first of a pass; the three after it are
    // looked at one by one.
    struct SProbe
    {
        int x, y;
        DWORD argb;
    };
    const std::vector<std::vector<SProbe>> frames = {
        {{15, 15, kRed}, {5, 5, 0}, {35, 15, 0}},
        {{15, 15, kRed}, {5, 5, kGreen}, {12, 12, kGreen}, {35, 15, 0}},
        // The second frame's rectangle is cleared, the red under it too.
        {{15, 15, 0}, {5, 5, 0}, {12, 12, 0}, {35, 15, kBlue}},
    };
    // Wait for a red-only frame: the first of a pass.
    ASSERT_TRUE(PumpUntil(
        [] {
            const CPixels& b = SLayeredSpy::s_buffer;
            return !b.Empty() && b.At(15, 15) == kRed && b.At(5, 5) == 0 && b.At(35, 15) == 0;
        },
        20000, m_pViewer));
    for (size_t i = 0; i < frames.size(); ++i)
    {
        SCOPED_TRACE(i);
        if (i > 0)
        {
            const size_t n = SFrameSpy::s_vecColours.size();
            ASSERT_TRUE(UpdatesReach(n + 1));
        }
        const CPixels& buffer = SLayeredSpy::s_buffer;
        ASSERT_EQ(40, buffer.cx);
        ASSERT_EQ(30, buffer.cy);
        for (const SProbe& probe : frames[i])
            EXPECT_EQ(probe.argb, buffer.At(probe.x, probe.y)) << probe.x << "," << probe.y;
    }
}

TEST_F(ViewerPlaybackTest, TheStripsThumbnailIsTheFirstFrame)
{
    CTempFolder folder;
    const std::wstring strGif = folder.Write(L"three.gif", ThreeFrames());
    m_pViewer->ShowToolWnd(TRUE);
    CTarvoToolWnd* pStrip = m_pViewer->m_pToolWnd;
    ASSERT_TRUE(pStrip && pStrip->m_hWnd);
    ASSERT_EQ(0, pStrip->AddFile(strGif.c_str()));
    ASSERT_EQ(1u, pStrip->m_vecElems.size());
    const CPixels thumb = ReadBitmap(pStrip->m_vecElems[0]->m_hThumb);
    ASSERT_FALSE(thumb.Empty());
    const uint32_t c = thumb.At(thumb.cx / 2, thumb.cy / 2);
    EXPECT_GE(Red(c), 250);
    EXPECT_LE(Green(c), 5);
    EXPECT_LE(Blue(c), 5);
}
