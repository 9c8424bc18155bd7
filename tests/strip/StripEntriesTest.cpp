#include "tests/strip/StripTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace StripTest;
using namespace TestSupport;

namespace
{
const COLORREF kPictureColour = RGB(200, 30, 60);
const uint32_t kWhite = 0xFFFFFF;

class StripEntriesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pStrip.reset(MakeStrip(&m_calls));
        ASSERT_NE(nullptr, m_pStrip->m_hWnd);
    }

    // Every pixel of the 88 x 82 thumbnail: clr inside (x, y, cx, cy), white
    // everywhere else.
    static void ExpectThumbnail(HBITMAP hThumb, int x, int y, int cx, int cy, COLORREF clr)
    {
        const CPixels thumb = ReadBitmap(hThumb);
        ASSERT_EQ(88, thumb.cx);
        ASSERT_EQ(82, thumb.cy);
        for (int ty = 0; ty < 82; ++ty)
            for (int tx = 0; tx < 88; ++tx)
            {
                const bool bInside = tx >= x && tx < x + cx && ty >= y && ty < y + cy;
                ASSERT_EQ(bInside ? Rgb(clr) : kWhite, RgbOf(thumb.At(tx, ty)))
                    << "at " << tx << "," << ty << (bInside ? " (picture)" : " (margin)");
            }
    }

    CTempFolder m_dir;
    CRecordingSelectCall m_calls;
    std::unique_ptr<CTarvoToolWnd> m_pStrip;
};
} // namespace

TEST_F(StripEntriesTest, ThumbnailsFitTheBoxCentredOverWhite)
{
    struct SCase
    {
        int cx, cy;       // picture
        int x, y, w, h;   // where it lands in the thumbnail
    };
    const SCase cases[] = {
        {50, 40, 19, 21, 50, 40},   // never enlarged
        {88, 82, 0, 0, 88, 82},     // exactly the box
        {176, 82, 0, 20, 88, 41},
        {100, 300, 30, 0, 27, 82},
        {1920, 1080, 0, 16, 88, 49},
        {100, 50, 0, 19, 88, 43},   // 43, not 44: the division is in doubles
        {92, 92, 3, 0, 81, 82},
        {176, 164, 0, 0, 88, 82},   // equal ratios
        {2000, 10, 0, 41, 88, 0},   // nothing of the picture is drawn
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.cx << " x " << c.cy);
        const SIZE size = CTarvoToolWnd::FitSize(SIZE{c.cx, c.cy}, SIZE{88, 82});
        EXPECT_EQ(c.w, size.cx);
        EXPECT_EQ(c.h, size.cy);

        const std::wstring strPath = m_dir.Path(std::to_wstring(c.cx) + L"x" + std::to_wstring(c.cy) + L".png");
        ASSERT_TRUE(WriteSolidPicture(strPath, c.cx, c.cy, kPictureColour));
        ASSERT_EQ(0, m_pStrip->InsertFile(strPath.c_str(), -1));
        ExpectThumbnail(m_pStrip->m_vecElems.back()->m_hThumb, c.x, c.y, c.w, c.h, kPictureColour);
    }
}

TEST_F(StripEntriesTest, IndexedPicturesGetWhiteMarginsAndTheirOwnColours)
{
    // The palettes hold no white: a thumbnail taking the picture's palette
    // could not show white margins or keep the colour exact.
    struct SCase
    {
        int nBitCount;
        int cx, cy;
        int x, y, w, h;
    };
    const SCase cases[] = {
        {1, 200, 50, 0, 30, 88, 21}, // 21.999... in doubles
        {4, 30, 30, 29, 26, 30, 30},
        {8, 100, 300, 30, 0, 27, 82},
    };
    const COLORREF clr = RGB(30, 90, 160);
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.nBitCount << "-bit");
        const std::wstring strPath = m_dir.Path(L"indexed" + std::to_wstring(c.nBitCount) + L".bmp");
        ASSERT_TRUE(WriteIndexedBmp(strPath, c.cx, c.cy, c.nBitCount, clr));
        ASSERT_EQ(0, m_pStrip->InsertFile(strPath.c_str(), -1));
        ExpectThumbnail(m_pStrip->m_vecElems.back()->m_hThumb, c.x, c.y, c.w, c.h, clr);
    }
}

TEST_F(StripEntriesTest, MakingAThumbnailLeavesTheStripWindowUntouched)
{
    const std::wstring strPath = m_dir.Path(L"a.png");
    ASSERT_TRUE(WriteSolidPicture(strPath, 300, 200, kPictureColour));
    ASSERT_EQ(0, m_pStrip->AddFile(strPath.c_str()));
    m_pStrip->RecalcLayout();
    m_pStrip->SelectElem(0);
    const CPixels before = PaintAndRead(m_pStrip->m_hWnd);
    ASSERT_FALSE(before.Empty());

    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 400, 300, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    HBITMAP hSource = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    ASSERT_NE(nullptr, hSource);
    HBITMAP hThumb = m_pStrip->MakeThumbnail(hSource);
    EXPECT_NE(nullptr, hThumb);
    ::DeleteObject(hThumb);
    ::DeleteObject(hSource);

    const CPixels after = ReadClient(m_pStrip->m_hWnd);
    ASSERT_EQ(before.argb.size(), after.argb.size());
    for (size_t i = 0; i < before.argb.size(); ++i)
        ASSERT_EQ(RgbOf(before.argb[i]), RgbOf(after.argb[i]))
            << "at " << i % static_cast<size_t>(before.cx) << "," << i / static_cast<size_t>(before.cx);
    EXPECT_EQ(nullptr, m_pStrip->MakeThumbnail(nullptr));
}

TEST_F(StripEntriesTest, FilesBecomeEntriesInTheirPlaceWithTheirNames)
{
    const std::wstring strA = m_dir.Path(L"a.png");
    const std::wstring strB = m_dir.Path(L"b.bmp");
    const std::wstring strC = m_dir.Path(L"c d.jpg");
    const std::wstring strCorrupt = m_dir.Path(L"corrupt.png");
    ASSERT_TRUE(WriteSolidPicture(strA, 10, 10, kPictureColour));
    ASSERT_TRUE(WriteSolidPicture(strB, 10, 10, kPictureColour, L"image/bmp"));
    ASSERT_TRUE(WriteSolidPicture(strC, 10, 10, kPictureColour, L"image/jpeg"));
    ASSERT_TRUE(WriteFileBytes(strCorrupt, "\x89PNG\r\n\x1a\n not really a picture"));

    struct SCase
    {
        std::wstring strPath;
        int nPos;
        int nResult;
        std::vector<std::wstring> vecNames; // the list afterwards
    };
    const SCase cases[] = {
        {strA, -1, 0, {L"a.png"}},
        {strB, 0, 0, {L"b.bmp", L"a.png"}},
        {strC, 2, 0, {L"b.bmp", L"a.png", L"c d.jpg"}},
        {strA, 1, 0, {L"b.bmp", L"a.png", L"a.png", L"c d.jpg"}}, // the same file twice
        {strCorrupt, -1, 102, {L"b.bmp", L"a.png", L"a.png", L"c d.jpg"}},
        {m_dir.Path(L"missing.png"), 0, 102, {L"b.bmp", L"a.png", L"a.png", L"c d.jpg"}},
        {m_dir.m_strPath, -1, 102, {L"b.bmp", L"a.png", L"a.png", L"c d.jpg"}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "inserting " << testing::PrintToString(c.strPath));
        EXPECT_EQ(c.nResult, m_pStrip->InsertFile(c.strPath.c_str(), c.nPos));
        std::vector<std::wstring> vecNames;
        for (CElem* pElem : m_pStrip->m_vecElems)
        {
            vecNames.push_back(pElem->m_strName);
            EXPECT_EQ(1, pElem->m_nRef);
            EXPECT_NE(nullptr, pElem->m_hThumb);
        }
        EXPECT_EQ(c.vecNames, vecNames);
    }
    EXPECT_EQ(strC, m_pStrip->m_vecElems[3]->m_strPath);
    EXPECT_NE(m_pStrip->m_vecElems[1], m_pStrip->m_vecElems[2]);
    EXPECT_EQ(101, m_pStrip->AddFile(L""));
    EXPECT_EQ(101, m_pStrip->AddFile(nullptr));
    EXPECT_EQ(0, m_pStrip->AddFile(strA.c_str()));
    EXPECT_EQ(L"a.png", m_pStrip->m_vecElems.back()->m_strName) << "AddFile appends";
    EXPECT_TRUE(m_calls.m_vecCalls.empty()) << "adding chooses nothing";
}

// Windows takes either separator in a path; the name follows the last one of
// either kind, and the path is kept as it was given.
TEST_F(StripEntriesTest, TheNameFollowsTheLastSeparatorOfEitherKind)
{
    ASSERT_TRUE(::CreateDirectoryW(m_dir.Path(L"sub").c_str(), nullptr));
    ASSERT_TRUE(WriteSolidPicture(m_dir.Path(L"sub\\x.png"), 10, 10, kPictureColour));
    std::wstring strForward = m_dir.m_strPath;
    std::replace(strForward.begin(), strForward.end(), L'\\', L'/');

    struct SCase
    {
        std::wstring strPath;
        const wchar_t* pszName;
    };
    const SCase cases[] = {
        {m_dir.m_strPath + L"\\sub\\x.png", L"x.png"},
        {m_dir.m_strPath + L"\\sub/x.png", L"x.png"},
        {m_dir.m_strPath + L"/sub\\x.png", L"x.png"},
        {strForward + L"/sub/x.png", L"x.png"},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(c.strPath));
        ASSERT_EQ(0, m_pStrip->AddFile(c.strPath.c_str()));
        EXPECT_EQ(c.pszName, m_pStrip->m_vecElems.back()->m_strName);
        EXPECT_EQ(c.strPath, m_pStrip->m_vecElems.back()->m_strPath);
    }
}
