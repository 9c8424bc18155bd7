// A file decoded once into a premultiplied DIB picture: the same outcome as
// the DIB decode, and the same pixels as drawing the file's GDI+ picture into
// a premultiplied buffer, as the viewer did before.

#include "draw/Decode.h"
#include "draw/DibPicture.h"
#include "draw/RoMemDC.h"
#include "tests/draw/DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <atomic>
#include <memory>

using namespace DecodeTest;
using namespace TestSupport;

namespace
{
std::vector<std::wstring> FilesIn(const std::wstring& strFolder, const wchar_t* pszPattern)
{
    std::vector<std::wstring> vecPaths;
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strFolder + L"\\" + pszPattern).c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return vecPaths;
    do
        vecPaths.push_back(strFolder + L"\\" + data.cFileName);
    while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    return vecPaths;
}

// The file's GDI+ picture copied into a zeroed premultiplied buffer, or
// nothing when it has no pixels.
CPixels DrawnPixels(const std::wstring& strPath)
{
    std::unique_ptr<Gdiplus::Bitmap> pPicture(KelDraw::LoadPictureFromFile(strPath.c_str()));
    if (!pPicture || pPicture->GetWidth() == 0)
        return CPixels();
    const RECT rc = {0, 0, static_cast<LONG>(pPicture->GetWidth()), static_cast<LONG>(pPicture->GetHeight())};
    KelDraw::CRoMemDC dcBuffer(nullptr, &rc, TRUE);
    {
        Gdiplus::Graphics graphics(dcBuffer.m_hDC);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        graphics.DrawImage(pPicture.get(), 0, 0, rc.right, rc.bottom);
    }
    CPixels pixels = ReadSelectedBitmap(dcBuffer.m_hDC);
    dcBuffer.Discard();
    return pixels;
}
} // namespace

TEST(DibPictureTest, OneDecodeGivesTheDibDecodesOutcomeAndTheDrawnPixels)
{
    std::vector<std::wstring> vecPaths = FilesIn(SourcePath(L"tests\\pictures"), L"*.*");
    const std::vector<std::wstring> vecSuite = FilesIn(SharedPath(L"corpus\\pngsuite\\png"), L"*.png");
    vecPaths.insert(vecPaths.end(), vecSuite.begin(), vecSuite.end());
    ASSERT_GT(vecPaths.size(), 150u);

    int nPictures = 0;
    for (const std::wstring& strPath : vecPaths)
    {
        SCOPED_TRACE(std::string(strPath.begin(), strPath.end()));
        HBITMAP hDib = KelDraw::DecodeFileToDib(strPath.c_str());
        const bool bDecodes = hDib != nullptr;
        ::DeleteObject(hDib);

        const unsigned nDecodesBefore = KelDraw::DecodesOnThisThread();
        std::unique_ptr<KelDraw::CDibPicture> pPicture(KelDraw::LoadDibPicture(strPath.c_str()));
        const unsigned nDecodes = KelDraw::DecodesOnThisThread() - nDecodesBefore;
        ASSERT_EQ(bDecodes, pPicture != nullptr);
        EXPECT_EQ(bDecodes ? 1u : nDecodes, nDecodes) << "one decode at most, one for a picture";
        EXPECT_LE(nDecodes, 1u);
        if (!pPicture)
            continue;
        ++nPictures;

        KelDraw::SFileStamp stamp;
        ASSERT_TRUE(KelDraw::ReadFileStamp(strPath.c_str(), &stamp));
        EXPECT_TRUE(stamp == pPicture->Stamp());
        const CPixels drawn = DrawnPixels(strPath);
        const CPixels mine = ReadBitmap(pPicture->Dib());
        ASSERT_EQ(drawn.cx, mine.cx);
        ASSERT_EQ(drawn.cy, mine.cy);
        EXPECT_EQ(static_cast<UINT>(mine.cx), pPicture->GetWidth());
        EXPECT_EQ(static_cast<UINT>(mine.cy), pPicture->GetHeight());
        EXPECT_EQ(static_cast<size_t>(mine.cx) * mine.cy * 4, pPicture->Bytes());
        for (size_t i = 0; i < mine.argb.size(); ++i)
            ASSERT_EQ(drawn.argb[i], mine.argb[i]) << "pixel " << i % mine.cx << "," << i / mine.cx;
    }
    EXPECT_GT(nPictures, 150);
}

TEST(DibPictureTest, ACancelOrAPictureOverTheRoomGivenGivesNone)
{
    const std::wstring strPath = PicturePath(L"png32-alpha.png");
    std::atomic<bool> bCancel(true);
    EXPECT_EQ(nullptr, KelDraw::LoadDibPicture(strPath.c_str(), &bCancel));

    // 13 x 7 pixels take 364 bytes; a PNG's header tells before any decode.
    const unsigned nDecodesBefore = KelDraw::DecodesOnThisThread();
    EXPECT_EQ(nullptr, KelDraw::LoadDibPicture(strPath.c_str(), nullptr, 363));
    EXPECT_EQ(nDecodesBefore, KelDraw::DecodesOnThisThread()) << "refused before the decode";
    // A GIF's size is known after the decode only.
    EXPECT_EQ(nullptr, KelDraw::LoadDibPicture(PicturePath(L"gif.gif").c_str(), nullptr, 363));

    bCancel = false;
    std::unique_ptr<KelDraw::CDibPicture> pPicture(KelDraw::LoadDibPicture(strPath.c_str(), &bCancel, 364));
    ASSERT_NE(nullptr, pPicture);
    EXPECT_EQ(364u, pPicture->Bytes());
}
