#include "tests/strip/StripTestSupport.h"

#include "draw/Decode.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdlib>
#include <memory>
#include <set>

using namespace StripTest;
using namespace TestSupport;

namespace
{
const COLORREF kThumbColour = RGB(200, 30, 60);

// A "PNG" resource of the program as straight ARGB pixels.
CPixels LoadPngPixels(UINT nID)
{
    CPixels pixels;
    std::unique_ptr<Gdiplus::Bitmap> pPicture(KelDraw::LoadPngResource(nID));
    if (!pPicture || !pPicture->GetWidth())
        return pixels;
    pixels.cx = static_cast<int>(pPicture->GetWidth());
    pixels.cy = static_cast<int>(pPicture->GetHeight());
    pixels.argb.resize(static_cast<size_t>(pixels.cx) * pixels.cy);
    Gdiplus::BitmapData data = {};
    data.Width = static_cast<UINT>(pixels.cx);
    data.Height = static_cast<UINT>(pixels.cy);
    data.Stride = pixels.cx * 4;
    data.PixelFormat = PixelFormat32bppARGB;
    data.Scan0 = pixels.argb.data();
    Gdiplus::Rect rc(0, 0, pixels.cx, pixels.cy);
    pPicture->LockBits(&rc, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB,
                       &data);
    pPicture->UnlockBits(&data);
    return pixels;
}

class StripPaintTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pStrip.reset(MakeStrip(&m_calls));
        ASSERT_NE(nullptr, m_pStrip->m_hWnd);
    }
    void AddThumbnails(int nCount)
    {
        const std::wstring strPath = m_dir.Path(L"red.png");
        ASSERT_TRUE(WriteSolidPicture(strPath, 88, 82, kThumbColour));
        for (int i = 0; i < nCount; ++i)
            ASSERT_EQ(0, m_pStrip->AddFile(strPath.c_str()));
        m_pStrip->RecalcLayout();
        m_pStrip->UpdateScrollBar();
    }

    CTempFolder m_dir;
    CRecordingSelectCall m_calls;
    std::unique_ptr<CTarvoToolWnd> m_pStrip;
};
} // namespace

TEST_F(StripPaintTest, EmptyStripShowsOnlyTheStretchedTile)
{
    const CPixels tile = LoadResourcePixels(IDB_TILE);
    ASSERT_EQ(29, tile.cx);
    ASSERT_EQ(102, tile.cy);
    const CPixels client = PaintAndRead(m_pStrip->m_hWnd);
    ASSERT_EQ(1280, client.cx);
    ASSERT_EQ(103, client.cy);

    for (int y = 0; y < client.cy; ++y)
    {
        // Stretched from 102 rows to 103: the tile row is y's, give or take one.
        const int tyCentre = y * tile.cy / client.cy;
        std::set<uint32_t> setMiddle;
        for (int ty = std::max(0, tyCentre - 1); ty <= std::min(tile.cy - 1, tyCentre + 1); ++ty)
            for (int tx = 3; tx < tile.cx - 3; ++tx)
                setMiddle.insert(RgbOf(tile.At(tx, ty)));
        auto edgeMatches = [&](int x, int tx) {
            for (int ty = std::max(0, tyCentre - 1); ty <= std::min(tile.cy - 1, tyCentre + 1); ++ty)
                if (RgbOf(tile.At(tx, ty)) == RgbOf(client.At(x, y)))
                    return true;
            return false;
        };
        for (int x = 0; x < 3; ++x)
        {
            ASSERT_TRUE(edgeMatches(x, x)) << "left edge at " << x << "," << y;
            ASSERT_TRUE(edgeMatches(client.cx - 3 + x, tile.cx - 3 + x)) << "right edge at " << x << "," << y;
        }
        for (int x = 3; x < client.cx - 3; ++x)
            ASSERT_TRUE(setMiddle.count(RgbOf(client.At(x, y)))) << "middle at " << x << "," << y;
    }
}

TEST_F(StripPaintTest, FrameAndMarkerLieOverTheRowWhereTheirEntriesAre)
{
    const CPixels frame = LoadPngPixels(IDR_PNG_FRAME);
    const CPixels marker = LoadPngPixels(IDR_PNG_MARK);
    ASSERT_EQ(104, frame.cx);
    ASSERT_EQ(100, frame.cy);
    ASSERT_EQ(12, marker.cx);
    ASSERT_EQ(100, marker.cy);
    AddThumbnails(15);

    struct SCase
    {
        const char* pszName;
        int nScrollPos;
        int nSelected; // -1: none
        int nMarked;   // -1: none
        const CPixels* pPicture;
        int x, y;      // where the picture's top-left corner lands
    };
    const SCase cases[] = {
        {"frame around entry 1", 0, 1, -1, &frame, 128 - 8, 1},
        // Entry 0's box ends 4 pixels left of the client area: the frame's right edge shows.
        {"frame of entry 0 scrolled out of view", 112, 0, -1, &frame, 20 - 112 - 8, 1},
        {"marker in front of entry 2", 0, -1, 2, &marker, 236 - 16, 1},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        SCROLLINFO si = {sizeof(si), SIF_POS, 0, 0, 0, c.nScrollPos, 0};
        ::SetScrollInfo(m_pStrip->m_hWnd, SB_HORZ, &si, TRUE);
        m_pStrip->RecalcLayout();
        m_pStrip->m_pSelected = nullptr;
        const CPixels plain = PaintAndRead(m_pStrip->m_hWnd);

        if (c.nSelected >= 0)
            m_pStrip->m_pSelected = m_pStrip->m_vecElems[static_cast<size_t>(c.nSelected)];
        if (c.nMarked >= 0)
            m_pStrip->m_vecElems[static_cast<size_t>(c.nMarked)]->m_bDropMark = TRUE;
        const CPixels decorated = PaintAndRead(m_pStrip->m_hWnd);
        if (c.nMarked >= 0)
            m_pStrip->m_vecElems[static_cast<size_t>(c.nMarked)]->m_bDropMark = FALSE;

        int nOpaque = 0;
        for (int y = 0; y < plain.cy; ++y)
            for (int x = 0; x < plain.cx; ++x)
            {
                const int px = x - c.x;
                const int py = y - c.y;
                const bool bInside = px >= 0 && px < c.pPicture->cx && py >= 0 && py < c.pPicture->cy;
                const int nAlpha = bInside ? Alpha(c.pPicture->At(px, py)) : 0;
                if (nAlpha == 255)
                {
                    ++nOpaque;
                    ASSERT_EQ(RgbOf(c.pPicture->At(px, py)), RgbOf(decorated.At(x, y))) << "at " << x << "," << y;
                }
                else if (nAlpha == 0)
                {
                    ASSERT_EQ(RgbOf(plain.At(x, y)), RgbOf(decorated.At(x, y))) << "at " << x << "," << y;
                }
            }
        EXPECT_GT(nOpaque, 0) << "something of the picture is in view";
    }
    EXPECT_EQ(Rgb(kThumbColour), RgbOf(ReadClient(m_pStrip->m_hWnd).At(16 + 44, 50)))
        << "the thumbnail shows in its box";
}
