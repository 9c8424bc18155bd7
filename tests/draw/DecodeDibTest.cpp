#include "draw/Decode.h"
#include "draw/DibPicture.h"
#include "tests/draw/DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdlib>
#include <memory>

using namespace DecodeTest;
using namespace TestSupport;

namespace
{
// What a fixture holds, and so how its DIB is checked.
enum EContent
{
    kColours,        // Colour(x, y)
    kPalette,        // PaletteEntry(Index(x, y)): as indices into the file's palette when the DIB has a table
    kColoursAlpha,   // Colour(x, y) with Alpha(x, y), straight
    kPremultiplied,  // Colour(x, y) premultiplied by PremultipliedAlpha(x, y) in the file
    kBlocks,         // BlockColour of 8 x 8 blocks (JPEG)
    kGreyBlocks,     // the luma of the same blocks
};

struct SFormatCase
{
    const wchar_t* pszFile;
    EContent eContent;
    int nColours;   // palette entries of the file, for kPalette
    int nTolerance; // per channel
    bool bOpaque;   // a DIB with alpha must carry 255
};

// Whatever format a platform's decoder picks for these files, the DIB must
// follow the format it reports.
const SFormatCase kFormatCases[] = {
    {L"bmp1.bmp", kPalette, 2, 0, false},
    {L"bmp4.bmp", kPalette, 16, 0, false},
    {L"bmp8.bmp", kPalette, 200, 0, false},
    {L"bmp4-rle.bmp", kPalette, 16, 0, false},
    {L"bmp8-rle.bmp", kPalette, 200, 0, false},
    // Five bits a channel keep a colour to within 7.
    {L"bmp16-555.bmp", kColours, 0, 7, false},
    {L"bmp16-565.bmp", kColours, 0, 7, false},
    {L"bmp24.bmp", kColours, 0, 0, false},
    {L"bmp24-topdown.bmp", kColours, 0, 0, false},
    {L"bmp32.bmp", kColours, 0, 0, false},
    {L"png32-alpha.png", kColoursAlpha, 0, 0, false},
    {L"png48.png", kColours, 0, 1, true},
    {L"png48-300dpi.png", kColours, 0, 1, true},
    {L"png64-alpha.png", kColoursAlpha, 0, 1, false},
    {L"tiff-2pages.tif", kColours, 0, 0, false},
    // Where it is converted by drawing: at 300 dpi a drawing without the
    // size would fill only the top-left third.
    {L"tiff-pargb-300dpi.tif", kPremultiplied, 0, 2, false},
    {L"gif.gif", kPalette, 32, 0, false},
    {L"gif-transparent.gif", kPalette, 32, 0, false},
    {L"gif-animated.gif", kPalette, 32, 0, true},
    {L"jpeg-baseline.jpg", kBlocks, 0, 6, false},
    {L"jpeg-progressive.jpg", kBlocks, 0, 6, false},
    {L"jpeg-grey.jpg", kGreyBlocks, 0, 6, false},
    {L"jpeg-cmyk.jpg", kBlocks, 0, 12, true},
};

struct SDibDeleter
{
    void operator()(HBITMAP hBitmap) const { ::DeleteObject(hBitmap); }
};
typedef std::unique_ptr<std::remove_pointer<HBITMAP>::type, SDibDeleter> CDibHolder;

// The DIB a decoded format calls for: GDI's own formats as they are, every
// other one as 32 bits, straight ARGB where it has alpha.
int DibBitCount(Gdiplus::PixelFormat nFormat)
{
    if ((nFormat & PixelFormatGDI) && !(nFormat & PixelFormatAlpha))
        return static_cast<int>(Gdiplus::GetPixelFormatSize(nFormat));
    return 32;
}

bool Near(uint32_t argb, SRgb expected, int nTolerance)
{
    return std::abs(Red(argb) - expected.r) <= nTolerance && std::abs(Green(argb) - expected.g) <= nTolerance &&
           std::abs(Blue(argb) - expected.b) <= nTolerance;
}

std::string Describe(uint32_t argb)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "%08X", argb);
    return sz;
}

// Checks one pixel of a DIB made from a fixture against the pattern it holds.
::testing::AssertionResult PixelMatches(const SFormatCase& test, bool bAlpha, const CDibView& dib, int x, int y)
{
    const uint32_t argb = dib.ArgbAt(x, y);
    bool bMatch = true;
    switch (test.eContent)
    {
    case kColours:
        bMatch = Near(argb, Colour(x, y), test.nTolerance);
        break;
    case kPalette:
        bMatch = Near(argb, PaletteEntry(Index(x, y, test.nColours)), 0) &&
                 (dib.BitCount() > 8 || dib.IndexAt(x, y) == Index(x, y, test.nColours));
        break;
    case kColoursAlpha:
        // Straight alpha: even a fully transparent pixel keeps its colour.
        bMatch = bAlpha && Near(argb, Colour(x, y), test.nTolerance) &&
                 std::abs(Alpha(argb) - Alpha(x, y)) <= test.nTolerance;
        break;
    case kPremultiplied:
    {
        const int a = PremultipliedAlpha(x, y);
        const SRgb c = Colour(x, y);
        const SRgb stored = {c.r * a / 255, c.g * a / 255, c.b * a / 255};
        const SRgb back = {Red(argb) * a / 255, Green(argb) * a / 255, Blue(argb) * a / 255};
        bMatch = bAlpha && Alpha(argb) == a && std::abs(back.r - stored.r) <= test.nTolerance &&
                 std::abs(back.g - stored.g) <= test.nTolerance && std::abs(back.b - stored.b) <= test.nTolerance;
        break;
    }
    case kBlocks:
        bMatch = Near(argb, BlockColour(x / 8, y / 8), test.nTolerance);
        break;
    case kGreyBlocks:
    {
        const SRgb c = BlockColour(x / 8, y / 8);
        const int nLuma = (299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000;
        bMatch = Near(argb, SRgb{nLuma, nLuma, nLuma}, test.nTolerance);
        break;
    }
    }
    if (bMatch && bAlpha && test.bOpaque && Alpha(argb) != 255)
        bMatch = false;
    if (bMatch)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << Describe(argb);
}

// Pixels whose value is meant: all of them, or the inner pixels of JPEG blocks.
bool Checked(const SFormatCase& test, int x, int y)
{
    if (test.eContent != kBlocks && test.eContent != kGreyBlocks)
        return true;
    return x % 8 >= 2 && x % 8 <= 5 && y % 8 >= 2 && y % 8 <= 5;
}

// The header of a DIB made from a picture of nFormat, cx x cy: bottom-up,
// padded with zeros, 16-bit pixels described by their real masks.
void ExpectDibFormat(const CDibView& view, Gdiplus::PixelFormat nFormat, int cx, int cy)
{
    const BITMAPINFOHEADER& header = view.Header();
    const int nBitCount = DibBitCount(nFormat);
    EXPECT_EQ(static_cast<DWORD>(sizeof(BITMAPINFOHEADER)), header.biSize);
    EXPECT_EQ(cx, header.biWidth);
    EXPECT_EQ(cy, header.biHeight) << "rows are stored bottom-up";
    EXPECT_EQ(1, header.biPlanes);
    ASSERT_EQ(nBitCount, header.biBitCount);
    if (nFormat == PixelFormat16bppRGB565)
    {
        EXPECT_EQ(static_cast<DWORD>(BI_BITFIELDS), header.biCompression);
        EXPECT_EQ(0xF800u, view.Section().dsBitfields[0]);
        EXPECT_EQ(0x07E0u, view.Section().dsBitfields[1]);
        EXPECT_EQ(0x001Fu, view.Section().dsBitfields[2]);
    }
    else if (nBitCount == 16)
    {
        // The system reports a 16-bit BI_RGB section by its 5-5-5 masks.
        EXPECT_EQ(0x7C00u, view.Section().dsBitfields[0]);
        EXPECT_EQ(0x03E0u, view.Section().dsBitfields[1]);
        EXPECT_EQ(0x001Fu, view.Section().dsBitfields[2]);
    }
    else
    {
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
    }
    EXPECT_EQ((cx * nBitCount + 31) / 32 * 4, view.Stride());
    EXPECT_TRUE(view.PaddingIsZero());
}

// GDI reads the section as its header says: it must see what the section
// holds, the right way up.
void ExpectGdiSeesTheDib(HBITMAP hDib, const CDibView& view)
{
    const CPixels seen = ReadBitmap(hDib);
    ASSERT_EQ(view.Width(), seen.cx);
    ASSERT_EQ(view.Height(), seen.cy);
    for (int y = 0; y < seen.cy; ++y)
        for (int x = 0; x < seen.cx; ++x)
            ASSERT_EQ(view.ArgbAt(x, y) & 0xFFFFFFu, seen.At(x, y) & 0xFFFFFFu) << "pixel " << x << "," << y;
}
} // namespace

TEST(DecodeDibTest, EachFormatGivesTheDibItsDecodedFormatCallsFor)
{
    for (const SFormatCase& test : kFormatCases)
    {
        SCOPED_TRACE(::testing::Message() << "file " << std::string(test.pszFile, test.pszFile + wcslen(test.pszFile)));
        const std::wstring strPath = PicturePath(test.pszFile);
        Gdiplus::PixelFormat nDecoded = 0;
        {
            Gdiplus::Bitmap decoded(strPath.c_str());
            ASSERT_EQ(Gdiplus::Ok, decoded.GetLastStatus());
            nDecoded = decoded.GetPixelFormat();
        }
        SCOPED_TRACE(::testing::Message() << "decoded as " << std::hex << nDecoded);

        CDibHolder dib(KelDraw::DecodeFileToDib(strPath.c_str()));
        ASSERT_NE(nullptr, dib);
        const CDibView view(dib.get());
        ASSERT_TRUE(view.Valid());
        const bool bJpeg = test.eContent == kBlocks || test.eContent == kGreyBlocks;
        const int cx = bJpeg ? kJpegWidth : kWidth;
        const int cy = bJpeg ? kJpegHeight : kHeight;
        ExpectDibFormat(view, nDecoded, cx, cy);

        if (view.BitCount() <= 8)
        {
            // The whole table as the system keeps it; the palette over zeros,
            // its alpha dropped.
            const std::vector<RGBQUAD>& colours = view.Colours();
            ASSERT_EQ(1u << view.BitCount(), colours.size());
            for (size_t i = 0; i < colours.size(); ++i)
            {
                EXPECT_EQ(0, colours[i].rgbReserved) << "entry " << i;
                if (test.eContent != kPalette)
                    continue;
                const SRgb expected = static_cast<int>(i) < test.nColours ? PaletteEntry(static_cast<int>(i))
                                                                          : SRgb{0, 0, 0};
                EXPECT_EQ(expected.r, colours[i].rgbRed) << "entry " << i;
                EXPECT_EQ(expected.g, colours[i].rgbGreen) << "entry " << i;
                EXPECT_EQ(expected.b, colours[i].rgbBlue) << "entry " << i;
            }
        }

        ExpectGdiSeesTheDib(dib.get(), view);
        const bool bAlpha = (nDecoded & PixelFormatAlpha) != 0;
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                if (Checked(test, x, y))
                {
                    ASSERT_TRUE(PixelMatches(test, bAlpha, view, x, y));
                }
    }
}

TEST(DecodeDibTest, SixteenBitPicturesKeepTheirColoursInGdi)
{
    // Made here rather than decoded: a decoder may widen 16-bit files.
    struct SWordFormat
    {
        Gdiplus::PixelFormat nFormat;
        int nRedBits, nGreenBits, nBlueBits;
    };
    const SWordFormat formats[] = {
        {PixelFormat16bppRGB565, 5, 6, 5},
        {PixelFormat16bppRGB555, 5, 5, 5},
    };
    const int cx = 14, cy = 5;
    for (const SWordFormat& format : formats)
    {
        SCOPED_TRACE(::testing::Message() << "format " << std::hex << format.nFormat);
        // Every channel runs through its whole range across the picture.
        std::vector<WORD> vecWords(cx * cy);
        std::vector<SRgb> vecExpected(cx * cy);
        auto fnWiden = [](int n, int nBits) { return (n << (8 - nBits)) | (n >> (2 * nBits - 8)); };
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
            {
                const int r = (x * 5 + y * 3) & ((1 << format.nRedBits) - 1);
                const int g = (x * 11 + y * 7) & ((1 << format.nGreenBits) - 1);
                const int b = (x * 3 + y * 13) & ((1 << format.nBlueBits) - 1);
                vecWords[y * cx + x] = static_cast<WORD>(
                    (r << (format.nGreenBits + format.nBlueBits)) | (g << format.nBlueBits) | b);
                vecExpected[y * cx + x] = {fnWiden(r, format.nRedBits), fnWiden(g, format.nGreenBits),
                                           fnWiden(b, format.nBlueBits)};
            }
        Gdiplus::GpBitmap* pRaw = nullptr;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::DllExports::GdipCreateBitmapFromScan0(
                                   cx, cy, cx * 2, format.nFormat, reinterpret_cast<BYTE*>(vecWords.data()), &pRaw));
        CDibHolder dib(KelDraw::CreateDibFromBitmap(pRaw));
        Gdiplus::DllExports::GdipDisposeImage(pRaw);
        ASSERT_NE(nullptr, dib);
        const CDibView view(dib.get());
        ASSERT_TRUE(view.Valid());
        ExpectDibFormat(view, format.nFormat, cx, cy);
        ExpectGdiSeesTheDib(dib.get(), view);
        // GDI may widen by shifting alone: up to 7 below.
        const CPixels seen = ReadBitmap(dib.get());
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                ASSERT_TRUE(Near(seen.At(x, y), vecExpected[y * cx + x], 7))
                    << "pixel " << x << "," << y << " is " << Describe(seen.At(x, y));
    }
}

TEST(DecodeDibTest, InputsThatAreNoPictureGiveNothingAndLeaveTheFileFree)
{
    CTempFolder folder;
    const std::string strPng = ReadFileBytes(PicturePath(L"png32-alpha.png"));
    ASSERT_FALSE(strPng.empty());

    struct SBadCase
    {
        const char* pszWhat;
        std::wstring strPath;
        bool bFailedPicture; // LoadPictureFromFile: a 0 x 0 picture rather than none
    };
    const SBadCase cases[] = {
        {"missing file", folder.Path(L"missing.png"), false},
        {"empty file", folder.Write(L"empty.png", ""), false},
        {"a folder", folder.m_strPath, false},
        {"text named .png", folder.Write(L"text.png", ReadFileBytes(PicturePath(L"not-a-picture.png"))), true},
        {"truncated PNG", folder.Write(L"truncated.png", strPng.substr(0, strPng.size() / 2)), true},
        // Whole pixel data, then no end chunk: GDI+ refuses these, and so does every path.
        {"PNG without its end", folder.Write(L"no-end.png", strPng.substr(0, strPng.size() - 12)), true},
        {"PNG ending in no chunk", folder.Write(L"bad-end.png", strPng.substr(0, strPng.size() - 12) + "\x22\xF2junkjunk"),
         true},
        // Refused for its header, before any decoder sees it.
        {"100000 x 100000 declared", folder.Write(L"huge.png", ReadFileBytes(PicturePath(L"huge-declared.png"))), false},
    };
    for (const SBadCase& test : cases)
    {
        SCOPED_TRACE(test.pszWhat);
        EXPECT_EQ(nullptr, KelDraw::DecodeFileToDib(test.strPath.c_str()));
        std::unique_ptr<KelDraw::CDibPicture> pDibPicture(KelDraw::LoadDibPicture(test.strPath.c_str()));
        EXPECT_EQ(nullptr, pDibPicture);
        HBITMAP hThumb = nullptr;
        EXPECT_FALSE(KelDraw::DecodeFileToThumbnail(test.strPath.c_str(), 88, 82, &hThumb));
        EXPECT_EQ(nullptr, hThumb);
        Gdiplus::Bitmap* pPicture = KelDraw::LoadPictureFromFile(test.strPath.c_str());
        if (test.bFailedPicture)
        {
            ASSERT_NE(nullptr, pPicture);
            EXPECT_EQ(0u, pPicture->GetWidth());
            EXPECT_EQ(0u, pPicture->GetHeight());
        }
        else
        {
            EXPECT_EQ(nullptr, pPicture);
        }
        delete pPicture;
        const DWORD dwAttributes = ::GetFileAttributesW(test.strPath.c_str());
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        {
            EXPECT_TRUE(::DeleteFileW(test.strPath.c_str())) << "the file was left open";
        }
    }
}

TEST(DecodeDibTest, TheDibIsTheCallersAndTheFileIsClosed)
{
    CTempFolder folder;
    const std::wstring strPath = folder.Write(L"copy.bmp", ReadFileBytes(PicturePath(L"bmp24.bmp")));
    HBITMAP hDib = KelDraw::DecodeFileToDib(strPath.c_str());
    ASSERT_NE(nullptr, hDib);
    EXPECT_TRUE(::DeleteFileW(strPath.c_str()));
    EXPECT_EQ(OBJ_BITMAP, ::GetObjectType(hDib));
    EXPECT_TRUE(::DeleteObject(hDib));
    EXPECT_EQ(0u, ::GetObjectType(hDib));
}

TEST(DecodeDibTest, RepeatedDecodingKeepsMemoryFlat)
{
    // A noisy 400 x 300 picture: its DIB and its file block are each far
    // larger than any growth that heap slack explains, times the rounds.
    CTempFolder folder;
    const int cx = 400, cy = 300;
    std::wstring strPath = folder.Path(L"noise.png");
    {
        Gdiplus::Bitmap noise(cx, cy, PixelFormat32bppARGB);
        Gdiplus::BitmapData data;
        Gdiplus::Rect rc(0, 0, cx, cy);
        ASSERT_EQ(Gdiplus::Ok, noise.LockBits(&rc, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data));
        uint32_t nSeed = 12345;
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
            {
                nSeed = nSeed * 1103515245u + 12345u;
                static_cast<uint32_t*>(data.Scan0)[y * data.Stride / 4 + x] = nSeed;
            }
        noise.UnlockBits(&data);
        ASSERT_TRUE(SavePng(&noise, strPath));
    }
    const std::string strBytes = ReadFileBytes(strPath);
    ASSERT_GT(strBytes.size(), 200000u);
    const std::wstring strTruncated = folder.Write(L"truncated.png", strBytes.substr(0, strBytes.size() / 2));
    const std::wstring strHuge = folder.Write(L"huge.png", ReadFileBytes(PicturePath(L"huge-declared.png")));

    auto fnRound = [&] {
        HBITMAP hDib = KelDraw::DecodeFileToDib(strPath.c_str());
        EXPECT_NE(nullptr, hDib);
        ::DeleteObject(hDib);
        Gdiplus::Bitmap* pPicture = KelDraw::LoadPictureFromFile(strPath.c_str());
        ASSERT_NE(nullptr, pPicture);
        EXPECT_EQ(static_cast<UINT>(cx), pPicture->GetWidth());
        delete pPicture;
        for (const std::wstring& strBad : {strTruncated, strHuge})
        {
            EXPECT_EQ(nullptr, KelDraw::DecodeFileToDib(strBad.c_str()));
            delete KelDraw::LoadPictureFromFile(strBad.c_str());
        }
    };
    for (int i = 0; i < 5; ++i)
        fnRound();
    const size_t cbBefore = ProcessMemory();
    for (int i = 0; i < 40; ++i)
        fnRound();
    const size_t cbAfter = ProcessMemory();
    if (!HeapChecked())
    {
        EXPECT_LT(cbAfter, cbBefore + 8 * 1024 * 1024) << "grew from " << cbBefore << " to " << cbAfter;
    }
}
