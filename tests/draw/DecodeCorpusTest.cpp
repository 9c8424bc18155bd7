// The PNG conformance suite in the shared corpus, with the RGBA pixels its
// makers expect for each file.

#include "draw/Decode.h"
#include "tests/draw/DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdlib>
#include <cwctype>
#include <memory>

using namespace DecodeTest;
using namespace TestSupport;

namespace
{
// Only a checksum is wrong in these. This platform's PNG decoder does not
// verify checksums (nor did the decoder that wrote their expected pixels),
// so here they are pictures like the rest.
const wchar_t* const kChecksumOnly[] = {L"xcsn0g01.png", L"xhdn0g08.png"};

bool IsChecksumOnly(const std::wstring& strName)
{
    for (const wchar_t* pszName : kChecksumOnly)
        if (strName == pszName)
            return true;
    return false;
}

std::wstring CorpusPath(const std::wstring& strRelative)
{
    return SharedPath(L"corpus/pngsuite/" + strRelative);
}

std::vector<std::wstring> CorpusNames()
{
    std::vector<std::wstring> vecNames;
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW(CorpusPath(L"png\\*.png").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return vecNames;
    do
        vecNames.push_back(data.cFileName);
    while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    return vecNames;
}

// The numbers of a JSON array, in order.
std::vector<int> ReadNumbers(const std::wstring& strPath)
{
    std::vector<int> vecNumbers;
    const std::string strText = ReadFileBytes(strPath);
    for (size_t i = 0; i < strText.size();)
    {
        if (!isdigit(static_cast<unsigned char>(strText[i])))
        {
            ++i;
            continue;
        }
        int n = 0;
        while (i < strText.size() && isdigit(static_cast<unsigned char>(strText[i])))
            n = n * 10 + (strText[i++] - '0');
        vecNumbers.push_back(n);
    }
    return vecNumbers;
}

// Expected RGBA, 8 bits a channel. Files of 16 bits a channel list 16-bit
// values, some with a reduced list beside; as reductions round differently,
// they are met to within 1.
std::vector<int> ExpectedRgba(const std::wstring& strName, int& nTolerance)
{
    const std::wstring strStem = strName.substr(0, strName.size() - 4);
    const std::wstring strReduced = CorpusPath(L"json\\" + strStem + L"_to8.json");
    nTolerance = 0;
    if (::GetFileAttributesW(strReduced.c_str()) != INVALID_FILE_ATTRIBUTES)
    {
        nTolerance = 1;
        return ReadNumbers(strReduced);
    }
    std::vector<int> vecValues = ReadNumbers(CorpusPath(L"json\\" + strStem + L".json"));
    bool bWide = false;
    for (int n : vecValues)
        bWide = bWide || n > 255;
    if (bWide)
    {
        nTolerance = 1;
        for (int& n : vecValues)
            n = (n + 128) / 257;
    }
    return vecValues;
}

int DepthForFormat(Gdiplus::PixelFormat nFormat)
{
    switch (nFormat)
    {
    case PixelFormat1bppIndexed:
        return 1;
    case PixelFormat4bppIndexed:
        return 4;
    case PixelFormat8bppIndexed:
        return 8;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
        return 16;
    case PixelFormat24bppRGB:
        return 24;
    default:
        return 32;
    }
}

std::string Narrow(const std::wstring& str)
{
    return std::string(str.begin(), str.end());
}

// Why a decoded file differs from its expected pixels; empty when it does not.
std::string Compare(const std::wstring& strName)
{
    const std::wstring strPath = CorpusPath(L"png\\" + strName);
    Gdiplus::PixelFormat nFormat = 0;
    {
        Gdiplus::Bitmap decoded(strPath.c_str());
        nFormat = decoded.GetPixelFormat();
    }
    HBITMAP hDib = KelDraw::DecodeFileToDib(strPath.c_str());
    if (!hDib)
        return "no DIB";
    const CDibView view(hDib);
    std::string strWhy;
    int nTolerance = 0;
    const std::vector<int> vecExpected = ExpectedRgba(strName, nTolerance);
    const int cx = view.Width(), cy = view.Height();
    if (view.BitCount() != DepthForFormat(nFormat))
        strWhy = "depth " + std::to_string(view.BitCount());
    else if (view.Header().biHeight <= 0 || !view.PaddingIsZero())
        strWhy = "not bottom-up, or padding not zero";
    else if (vecExpected.size() != static_cast<size_t>(cx) * cy * 4)
        strWhy = "expected " + std::to_string(vecExpected.size()) + " values";
    // Palette alpha is dropped; DIBs of 24 bits or of 32-bit RGB carry none.
    const bool bAlpha = (nFormat & PixelFormatAlpha) != 0;
    for (int y = 0; y < cy && strWhy.empty(); ++y)
        for (int x = 0; x < cx && strWhy.empty(); ++x)
        {
            const uint32_t argb = view.ArgbAt(x, y);
            const int* pRgba = &vecExpected[(static_cast<size_t>(y) * cx + x) * 4];
            if (std::abs(Red(argb) - pRgba[0]) > nTolerance || std::abs(Green(argb) - pRgba[1]) > nTolerance ||
                std::abs(Blue(argb) - pRgba[2]) > nTolerance || (bAlpha && std::abs(Alpha(argb) - pRgba[3]) > nTolerance))
            {
                char sz[96];
                snprintf(sz, sizeof(sz), "pixel %d,%d is %08X, expected %d %d %d %d", x, y, argb, pRgba[0], pRgba[1],
                         pRgba[2], pRgba[3]);
                strWhy = sz;
            }
        }
    ::DeleteObject(hDib);
    return strWhy;
}
} // namespace

TEST(DecodeCorpusTest, EveryValidFileDecodesToItsExpectedPixels)
{
    int nChecked = 0;
    for (const std::wstring& strName : CorpusNames())
    {
        if (towlower(strName[0]) == L'x' && !IsChecksumOnly(strName))
            continue;
        const std::string strWhy = Compare(strName);
        EXPECT_EQ("", strWhy) << Narrow(strName);
        ++nChecked;
    }
    ASSERT_GT(nChecked, 150) << "the corpus was not found at " << Narrow(CorpusPath(L""));
}

TEST(DecodeCorpusTest, CorruptFilesGiveNoDibAndAFailedPicture)
{
    int nChecked = 0;
    for (const std::wstring& strName : CorpusNames())
    {
        if (towlower(strName[0]) != L'x' || IsChecksumOnly(strName))
            continue;
        SCOPED_TRACE(Narrow(strName));
        const std::wstring strPath = CorpusPath(L"png\\" + strName);
        EXPECT_EQ(nullptr, KelDraw::DecodeFileToDib(strPath.c_str()));
        std::unique_ptr<Gdiplus::Bitmap> pPicture(KelDraw::LoadPictureFromFile(strPath.c_str()));
        ASSERT_NE(nullptr, pPicture);
        EXPECT_EQ(0u, pPicture->GetWidth());
        EXPECT_EQ(0u, pPicture->GetHeight());
        ++nChecked;
    }
    ASSERT_GT(nChecked, 10);
}
