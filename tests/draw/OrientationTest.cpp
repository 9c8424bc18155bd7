#include "draw/Decode.h"
#include "draw/Orientation.h"
#include "tests/draw/DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

using namespace DecodeTest;
using TestSupport::Blue;
using TestSupport::Green;
using TestSupport::Red;

namespace
{
struct SDibDeleter
{
    void operator()(HBITMAP hBitmap) const { ::DeleteObject(hBitmap); }
};
typedef std::unique_ptr<std::remove_pointer<HBITMAP>::type, SDibDeleter> CDibHolder;

// The upright picture that tools/make-test-pictures.py stores turned under
// every tag: 32 x 16, each 16 x 8 quadrant one colour.
const int kUprightWidth = 32;
const int kUprightHeight = 16;
struct SQuadrant
{
    int x, y;
    SRgb colour;
};
const SQuadrant kQuadrants[] = {
    {8, 4, {220, 40, 40}},
    {24, 4, {40, 200, 60}},
    {8, 12, {40, 60, 220}},
    {24, 12, {230, 210, 40}},
};

// A TIFF structure whose first directory holds one entry.
struct STiffEntry
{
    bool bBigEndian;
    unsigned nTag, nType;
    DWORD nCount;
    unsigned nValue;
};

std::string Word(unsigned n, bool bBigEndian)
{
    const char lo = static_cast<char>(n & 0xFF), hi = static_cast<char>((n >> 8) & 0xFF);
    return bBigEndian ? std::string{hi, lo} : std::string{lo, hi};
}

std::string Dword(DWORD n, bool bBigEndian)
{
    return bBigEndian ? Word(n >> 16, true) + Word(n & 0xFFFF, true) : Word(n & 0xFFFF, false) + Word(n >> 16, false);
}

std::string Tiff(const STiffEntry& entry, DWORD nDirectory = 8, unsigned nEntries = 1)
{
    const bool bBig = entry.bBigEndian;
    std::string strTiff = bBig ? std::string("MM\0*", 4) : std::string("II*\0", 4);
    strTiff += Dword(nDirectory, bBig) + Word(nEntries, bBig);
    strTiff += Word(entry.nTag, bBig) + Word(entry.nType, bBig) + Dword(entry.nCount, bBig) +
               Word(entry.nValue, bBig) + Word(0, bBig);
    return strTiff + Dword(0, bBig);
}

// A JPEG's start: SOI, an APP1 block of this body, then the picture data.
std::string Jpeg(const std::string& strApp1Body, int nLengthSlack = 0)
{
    const unsigned cbSegment = static_cast<unsigned>(strApp1Body.size() + 2 + nLengthSlack);
    return std::string("\xFF\xD8\xFF\xE1", 4) + Word(cbSegment, true) + strApp1Body +
           std::string("\xFF\xDA\x00\x02", 4);
}

const std::string kExif("Exif\0\0", 6);
const STiffEntry kSix = {false, 0x0112, 3, 1, 6};
} // namespace

TEST(OrientationTest, EveryTagTurnsThePhotoUpright)
{
    for (const wchar_t* pszExtension : {L"jpg", L"tif"})
        for (int nTag = 1; nTag <= 8; ++nTag)
        {
            const std::wstring strName = L"orient-" + std::to_wstring(nTag) + L"." + pszExtension;
            SCOPED_TRACE(std::string(strName.begin(), strName.end()));
            CDibHolder dib(KelDraw::DecodeFileToDib(PicturePath(strName).c_str()));
            ASSERT_NE(nullptr, dib);
            const CDibView view(dib.get());
            ASSERT_EQ(kUprightWidth, view.Width());
            ASSERT_EQ(kUprightHeight, view.Height());
            for (const SQuadrant& quadrant : kQuadrants)
            {
                const uint32_t argb = view.ArgbAt(quadrant.x, quadrant.y);
                EXPECT_NEAR(quadrant.colour.r, Red(argb), 12) << "at " << quadrant.x << "," << quadrant.y;
                EXPECT_NEAR(quadrant.colour.g, Green(argb), 12) << "at " << quadrant.x << "," << quadrant.y;
                EXPECT_NEAR(quadrant.colour.b, Blue(argb), 12) << "at " << quadrant.x << "," << quadrant.y;
            }
        }
}

TEST(OrientationTest, OnlyASoundTagIsTrusted)
{
    struct SCase
    {
        const char* pszWhat;
        std::string strFile;
        int nExpected;
    };
    const std::string strSound = Tiff(kSix);
    const SCase cases[] = {
        {"sound, little-endian", Jpeg(kExif + strSound), 6},
        {"sound, big-endian", Jpeg(kExif + Tiff({true, 0x0112, 3, 1, 8})), 8},
        {"a TIFF file itself", Tiff({false, 0x0112, 3, 1, 3}), 3},
        {"another tag only", Jpeg(kExif + Tiff({false, 0x0110, 3, 1, 6})), 0},
        {"value 0", Jpeg(kExif + Tiff({false, 0x0112, 3, 1, 0})), 0},
        {"value 9", Jpeg(kExif + Tiff({false, 0x0112, 3, 1, 9})), 0},
        {"not a SHORT", Jpeg(kExif + Tiff({false, 0x0112, 4, 1, 6})), 0},
        {"two values", Jpeg(kExif + Tiff({false, 0x0112, 3, 2, 6})), 0},
        {"directory past the end", Jpeg(kExif + Tiff(kSix, 0xFFFFFFF0u)), 0},
        {"directory inside its header", Jpeg(kExif + Tiff(kSix, 6)), 0},
        {"more entries than bytes", Jpeg(kExif + Tiff({false, 0x0100, 3, 1, 6}, 8, 0xFFFF)), 0},
        {"block longer than the file", Jpeg(kExif + strSound, 1000), 0},
        {"block shorter than its header", Jpeg(kExif.substr(0, 4)), 0},
        {"Exif cut short", Jpeg(kExif + strSound.substr(0, 12)), 0},
        {"no Exif name", Jpeg("Exix" + std::string(2, '\0') + strSound), 0},
        {"Exif after the picture data", std::string("\xFF\xD8\xFF\xDA\x00\x02", 6) + Jpeg(kExif + strSound).substr(2), 0},
        {"bad byte order", Jpeg(kExif + "IM" + strSound.substr(2)), 0},
        {"empty", std::string(), 0},
    };
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(test.pszWhat);
        EXPECT_EQ(test.nExpected, KelDraw::ReadOrientationTag(reinterpret_cast<const BYTE*>(test.strFile.data()),
                                                              test.strFile.size()));
    }
}
