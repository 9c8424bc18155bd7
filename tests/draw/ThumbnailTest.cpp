// Thumbnails: from a JPEG's Exif preview where it suits, else an area average
// of the whole decoded picture; which files they make a picture of.

#include "draw/Decode.h"
#include "draw/DibPicture.h"
#include "draw/GdiplusSession.h"
#include "tests/draw/DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

using namespace DecodeTest;
using namespace TestSupport;

namespace
{
const int kBoxWidth = 88, kBoxHeight = 82;

// The file bytes of a cx x cy picture of fnColour's pixels (0xRRGGBB).
std::string Encode(int cx, int cy, const std::function<uint32_t(int, int)>& fnColour,
                   const wchar_t* pszMimeType = L"image/jpeg")
{
    Gdiplus::Bitmap bitmap(cx, cy, PixelFormat32bppRGB);
    Gdiplus::BitmapData data;
    const Gdiplus::Rect rc(0, 0, cx, cy);
    bitmap.LockBits(&rc, Gdiplus::ImageLockModeWrite, PixelFormat32bppRGB, &data);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            static_cast<uint32_t*>(data.Scan0)[y * data.Stride / 4 + x] = 0xFF000000u | fnColour(x, y);
    bitmap.UnlockBits(&data);
    CLSID clsid;
    IStream* pStream = nullptr;
    if (!KelDraw::FindImageEncoder(pszMimeType, &clsid) || ::CreateStreamOnHGlobal(nullptr, TRUE, &pStream) != S_OK)
        return std::string();
    std::string strBytes;
    if (bitmap.Save(pStream, &clsid, nullptr) == Gdiplus::Ok)
    {
        STATSTG stat = {};
        pStream->Stat(&stat, STATFLAG_NONAME);
        strBytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
        LARGE_INTEGER start = {};
        pStream->Seek(start, STREAM_SEEK_SET, nullptr);
        ULONG cbRead = 0;
        pStream->Read(&strBytes[0], static_cast<ULONG>(strBytes.size()), &cbRead);
    }
    pStream->Release();
    return strBytes;
}

std::string Solid(int cx, int cy, uint32_t rgb)
{
    return Encode(cx, cy, [rgb](int, int) { return rgb; });
}

std::string Le16(unsigned n)
{
    return std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF)};
}

std::string Le32(DWORD n)
{
    return Le16(n & 0xFFFF) + Le16(n >> 16);
}

// The JPEG with an Exif block carrying the preview (IFD1's JPEG data) and,
// from 1 to 8, an orientation tag; cbPastEnd more bytes claimed than stored.
std::string WithPreview(const std::string& strMain, const std::string& strPreview, int nOrientation,
                        DWORD cbPastEnd = 0)
{
    const unsigned nIfd0Entries = nOrientation ? 1 : 0;
    const DWORD nIfd1 = 8 + 2 + 12 * nIfd0Entries + 4;
    const DWORD nPreview = nIfd1 + 2 + 2 * 12 + 4;
    std::string strTiff = std::string("II*\0", 4) + Le32(8) + Le16(nIfd0Entries);
    if (nOrientation)
        strTiff += Le16(0x0112) + Le16(3) + Le32(1) + Le16(static_cast<unsigned>(nOrientation)) + Le16(0);
    strTiff += Le32(nIfd1) + Le16(2);
    strTiff += Le16(0x0201) + Le16(4) + Le32(1) + Le32(nPreview);
    strTiff += Le16(0x0202) + Le16(4) + Le32(1) + Le32(static_cast<DWORD>(strPreview.size()) + cbPastEnd);
    strTiff += Le32(0) + strPreview;
    const size_t cbSegment = 2 + 6 + strTiff.size();
    const std::string strApp1 = std::string("\xFF\xE1", 2) + static_cast<char>(cbSegment >> 8) +
                                static_cast<char>(cbSegment & 0xFF) + std::string("Exif\0\0", 6) + strTiff;
    return strMain.substr(0, 2) + strApp1 + strMain.substr(2);
}

// The JPEG without its quantisation tables: it reads soundly up to its
// picture data, which no decoder can then decode.
std::string WithoutTables(const std::string& strJpeg)
{
    std::string strOut = strJpeg.substr(0, 2);
    for (size_t n = 2; n + 4 <= strJpeg.size();)
    {
        const BYTE nMarker = static_cast<BYTE>(strJpeg[n + 1]);
        if (nMarker == 0xDA)
            return strOut + strJpeg.substr(n);
        const size_t cbSegment = static_cast<BYTE>(strJpeg[n + 2]) << 8 | static_cast<BYTE>(strJpeg[n + 3]);
        if (nMarker != 0xDB)
            strOut += strJpeg.substr(n, 2 + cbSegment);
        n += 2 + cbSegment;
    }
    return strOut;
}

bool Near(uint32_t argb, uint32_t rgb, int nTolerance)
{
    return std::abs(Red(argb) - static_cast<int>(rgb >> 16 & 0xFF)) <= nTolerance &&
           std::abs(Green(argb) - static_cast<int>(rgb >> 8 & 0xFF)) <= nTolerance &&
           std::abs(Blue(argb) - static_cast<int>(rgb & 0xFF)) <= nTolerance;
}

struct SThumb
{
    BOOL bPicture = FALSE;
    bool bFromPreview = false;
    CPixels pixels;
};

SThumb Thumbnail(const std::wstring& strPath)
{
    SThumb thumb;
    HBITMAP hThumb = nullptr;
    thumb.bPicture = KelDraw::DecodeFileToThumbnail(strPath.c_str(), kBoxWidth, kBoxHeight, &hThumb,
                                                    &thumb.bFromPreview);
    if (hThumb)
        thumb.pixels = ReadBitmap(hThumb);
    ::DeleteObject(hThumb);
    return thumb;
}

const uint32_t kMainColour = 0xC81E3C;
const uint32_t kPreviewColour = 0x2850D2;
} // namespace

TEST(ThumbnailTest, APreviewThatSuitsMakesTheThumbnailAndAnyOtherLeavesItToThePicture)
{
    const std::string strMain = Solid(400, 300, kMainColour);
    const std::string strPreview = Solid(160, 120, kPreviewColour);
    ASSERT_FALSE(strMain.empty());
    ASSERT_FALSE(strPreview.empty());
    struct SCase
    {
        const char* pszWhat;
        std::string strFile;
        bool bFromPreview;
    };
    const SCase cases[] = {
        {"present", WithPreview(strMain, strPreview, 1), true},
        {"present, no orientation tag", WithPreview(strMain, strPreview, 0), true},
        {"absent", strMain, false},
        {"wrong aspect", WithPreview(strMain, Solid(160, 90, kPreviewColour), 1), false},
        {"smaller than the thumbnail", WithPreview(strMain, Solid(80, 60, kPreviewColour), 1), false},
        {"damaged: cut short", WithPreview(strMain, strPreview.substr(0, 40), 1), false},
        {"damaged: no tables", WithPreview(strMain, WithoutTables(strPreview), 1), false},
        {"pointing past the end", WithPreview(strMain, strPreview, 1, 1), false},
    };
    CTempFolder folder;
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        const std::wstring strPath = folder.Write(L"photo.jpg", c.strFile);
        const SThumb thumb = Thumbnail(strPath);
        ASSERT_TRUE(thumb.bPicture);
        EXPECT_EQ(c.bFromPreview, thumb.bFromPreview);
        ASSERT_EQ(kBoxWidth, thumb.pixels.cx);
        // 400 x 300 fits as 88 x 66, 8 rows down.
        const uint32_t rgbWanted = c.bFromPreview ? kPreviewColour : kMainColour;
        EXPECT_TRUE(Near(thumb.pixels.At(44, 41), rgbWanted, 6)) << std::hex << thumb.pixels.At(44, 41);
        EXPECT_EQ(0xFFFFFFu, thumb.pixels.At(44, 3) & 0xFFFFFFu) << "margin";
        EXPECT_TRUE(Near(thumb.pixels.At(44, 9), rgbWanted, 6)) << "the picture's first row";
        // The picture itself decodes alike either way.
        std::unique_ptr<KelDraw::CDibPicture> pPicture(KelDraw::LoadDibPicture(strPath.c_str()));
        ASSERT_NE(nullptr, pPicture);
        EXPECT_EQ(400u, pPicture->GetWidth());
    }
}

TEST(ThumbnailTest, AFileWhosePictureCannotDecodeIsTakenOnlyForItsPreview)
{
    const std::string strBroken = WithoutTables(Solid(400, 300, kMainColour));
    CTempFolder folder;
    const std::wstring strWith =
        folder.Write(L"with.jpg", WithPreview(strBroken, Solid(160, 120, kPreviewColour), 1));
    const std::wstring strWithout = folder.Write(L"without.jpg", strBroken);

    const SThumb thumb = Thumbnail(strWith);
    EXPECT_TRUE(thumb.bPicture) << "its structure reads soundly up to the picture data";
    EXPECT_TRUE(thumb.bFromPreview);
    EXPECT_EQ(nullptr, KelDraw::LoadDibPicture(strWith.c_str())) << "it fails once chosen";
    EXPECT_EQ(nullptr, KelDraw::DecodeFileToDib(strWith.c_str()));

    const SThumb none = Thumbnail(strWithout);
    EXPECT_FALSE(none.bPicture);
    EXPECT_EQ(0, none.pixels.cx);
}

TEST(ThumbnailTest, APreviewIsTurnedByTheOrientationTag)
{
    // Each orient-N.jpg stores the 32 x 16 upright quadrants turned for tag N;
    // its stored pixels, enlarged, make the picture and its preview.
    const uint32_t kUpright[4] = {0xDC2828, 0x28C83C, 0x283CDC, 0xE6D228};
    CTempFolder folder;
    for (int nOrientation = 1; nOrientation <= 8; ++nOrientation)
    {
        SCOPED_TRACE(nOrientation);
        Gdiplus::Bitmap stored(PicturePath(L"orient-" + std::to_wstring(nOrientation) + L".jpg").c_str());
        const int cx = static_cast<int>(stored.GetWidth()), cy = static_cast<int>(stored.GetHeight());
        ASSERT_GT(cx, 0);
        auto fnScaled = [&stored](int nScale) {
            return [&stored, nScale](int x, int y) {
                Gdiplus::Color colour;
                stored.GetPixel(x / nScale, y / nScale, &colour);
                return static_cast<uint32_t>(colour.GetValue() & 0xFFFFFF);
            };
        };
        const std::string strFile =
            WithPreview(Encode(cx * 10, cy * 10, fnScaled(10)), Encode(cx * 5, cy * 5, fnScaled(5)), nOrientation);
        const SThumb thumb = Thumbnail(folder.Write(L"turned.jpg", strFile));
        ASSERT_TRUE(thumb.bPicture);
        EXPECT_TRUE(thumb.bFromPreview);
        // Upright 320 x 160 fits as 88 x 44, 19 rows down.
        const POINT ptQuadrants[4] = {{22, 30}, {66, 30}, {22, 52}, {66, 52}};
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(Near(thumb.pixels.At(ptQuadrants[i].x, ptQuadrants[i].y), kUpright[i], 16))
                << "quadrant " << i << ": " << std::hex << thumb.pixels.At(ptQuadrants[i].x, ptQuadrants[i].y);
    }
}

TEST(ThumbnailTest, AFinePatternShrinksToItsAverage)
{
    // One-pixel black and white squares: their average is an even grey. A
    // stretch that picks pixels shows black, white or stripes instead.
    CTempFolder folder;
    for (const wchar_t* pszMimeType : {L"image/png", L"image/bmp"})
    {
        const std::wstring strPath = folder.Write(
            L"checks", Encode(400, 300, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; }, pszMimeType));
        const SThumb thumb = Thumbnail(strPath);
        ASSERT_TRUE(thumb.bPicture);
        ASSERT_EQ(kBoxWidth, thumb.pixels.cx);
        int nOff = 0;
        for (int y = 8; y < 8 + 66; ++y)
            for (int x = 0; x < kBoxWidth; ++x)
                nOff += Near(thumb.pixels.At(x, y), 0x808080, 3) ? 0 : 1;
        EXPECT_EQ(0, nOff) << "pixels not mid-grey";
    }
}
