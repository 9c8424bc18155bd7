#include "draw/Decode.h"
#include "framework/ComPtr.h"
#include "res/resource.h"
#include "tests/draw/DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdlib>
#include <memory>

using namespace DecodeTest;
using namespace TestSupport;

namespace
{
typedef std::unique_ptr<Gdiplus::Bitmap> CPictureHolder;

// The picture drawn unscaled onto a transparent straight-ARGB canvas of
// w x h, read back.
CPixels Drawn(Gdiplus::Bitmap* pPicture, int cx, int cy)
{
    CPixels pixels;
    Gdiplus::Bitmap canvas(cx, cy, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&canvas);
        graphics.DrawImage(pPicture, 0, 0, cx, cy);
    }
    Gdiplus::BitmapData data;
    Gdiplus::Rect rc(0, 0, cx, cy);
    if (canvas.LockBits(&rc, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return pixels;
    pixels.cx = cx;
    pixels.cy = cy;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.argb.push_back(static_cast<const uint32_t*>(data.Scan0)[y * data.Stride / 4 + x]);
    canvas.UnlockBits(&data);
    return pixels;
}

// png32-alpha.png as drawn: opaque and half-covered pixels keep their colour
// (to within rounding), transparent ones stay transparent.
::testing::AssertionResult ShowsTheAlphaPattern(Gdiplus::Bitmap* pPicture)
{
    if (pPicture->GetWidth() != static_cast<UINT>(kWidth) || pPicture->GetHeight() != static_cast<UINT>(kHeight))
        return ::testing::AssertionFailure() << "size " << pPicture->GetWidth() << " x " << pPicture->GetHeight();
    const CPixels pixels = Drawn(pPicture, kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
        {
            const uint32_t argb = pixels.At(x, y);
            const SRgb c = Colour(x, y);
            const int a = DecodeTest::Alpha(x, y);
            const bool bColour = a < 64 || (std::abs(Red(argb) - c.r) <= 3 && std::abs(Green(argb) - c.g) <= 3 &&
                                            std::abs(Blue(argb) - c.b) <= 3);
            if (std::abs(TestSupport::Alpha(argb) - a) > 1 || !bColour)
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << std::hex << argb;
        }
    return ::testing::AssertionSuccess();
}

CComPtr<IStream> StreamOverCopy(const std::string& strBytes)
{
    CComPtr<IStream> pStream;
    HGLOBAL hBlock = ::GlobalAlloc(GMEM_MOVEABLE, strBytes.size());
    if (!hBlock)
        return pStream;
    memcpy(::GlobalLock(hBlock), strBytes.data(), strBytes.size());
    ::GlobalUnlock(hBlock);
    if (FAILED(::CreateStreamOnHGlobal(hBlock, TRUE, &pStream)))
        ::GlobalFree(hBlock);
    return pStream;
}

// The count of references an object holds, seen by adding and dropping one.
ULONG References(IUnknown* pUnknown)
{
    pUnknown->AddRef();
    return pUnknown->Release();
}
} // namespace

TEST(DecodePictureTest, FilesLoadAsThePicturesTheyHold)
{
    struct SCase
    {
        const wchar_t* pszFile;
        UINT cx, cy;
        Gdiplus::PixelFormat nFormat;
    };
    const SCase cases[] = {
        {L"png32-alpha.png", kWidth, kHeight, PixelFormat32bppARGB},
        {L"bmp8.bmp", kWidth, kHeight, PixelFormat8bppIndexed},
        {L"jpeg-baseline.jpg", kJpegWidth, kJpegHeight, PixelFormat24bppRGB},
        {L"gif-animated.gif", kWidth, kHeight, PixelFormat32bppARGB},
    };
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(::testing::Message() << "file " << std::string(test.pszFile, test.pszFile + wcslen(test.pszFile)));
        CPictureHolder pPicture(KelDraw::LoadPictureFromFile(PicturePath(test.pszFile).c_str()));
        ASSERT_NE(nullptr, pPicture);
        EXPECT_EQ(Gdiplus::Ok, pPicture->GetLastStatus());
        EXPECT_EQ(test.cx, pPicture->GetWidth());
        EXPECT_EQ(test.cy, pPicture->GetHeight());
        EXPECT_EQ(test.nFormat, pPicture->GetPixelFormat());
    }
    CPictureHolder pPicture(KelDraw::LoadPictureFromFile(PicturePath(L"png32-alpha.png").c_str()));
    EXPECT_TRUE(ShowsTheAlphaPattern(pPicture.get()));
}

TEST(DecodePictureTest, AShownFileCanBeRenamedAndDeleted)
{
    CTempFolder folder;
    const std::wstring strPath = folder.Write(L"shown.png", ReadFileBytes(PicturePath(L"png32-alpha.png")));
    CPictureHolder pPicture(KelDraw::LoadPictureFromFile(strPath.c_str()));
    ASSERT_NE(nullptr, pPicture);

    const std::wstring strMoved = folder.Path(L"moved.png");
    EXPECT_TRUE(::MoveFileW(strPath.c_str(), strMoved.c_str()));
    EXPECT_TRUE(::DeleteFileW(strMoved.c_str()));
    EXPECT_TRUE(ShowsTheAlphaPattern(pPicture.get()));
}

TEST(DecodePictureTest, APictureKeepsItsStreamUntilItGoes)
{
    CComPtr<IStream> pStream = StreamOverCopy(ReadFileBytes(PicturePath(L"png32-alpha.png")));
    ASSERT_NE(nullptr, pStream.m_p);
    const ULONG nAlone = References(pStream);

    CPictureHolder pPicture(KelDraw::CreatePictureFromStream(pStream));
    ASSERT_NE(nullptr, pPicture);
    EXPECT_GT(References(pStream), nAlone);
    pPicture.reset();
    EXPECT_EQ(nAlone, References(pStream)) << "deleting the picture lets its reference go";

    // Drawable after the caller's own reference is gone.
    pPicture.reset(KelDraw::CreatePictureFromStream(pStream));
    pStream.Release();
    EXPECT_TRUE(ShowsTheAlphaPattern(pPicture.get()));
}

TEST(DecodePictureTest, NoStreamGivesAFailedPicture)
{
    CPictureHolder pPicture(KelDraw::CreatePictureFromStream(nullptr));
    ASSERT_NE(nullptr, pPicture);
    EXPECT_EQ(0u, pPicture->GetWidth());
    EXPECT_EQ(0u, pPicture->GetHeight());
}

TEST(DecodePictureTest, AResourceStreamIsACopyWithOneReference)
{
    const HINSTANCE hInstance = ::GetModuleHandleW(nullptr);
    const HRSRC hResource = ::FindResourceW(hInstance, MAKEINTRESOURCEW(IDR_PNG_FRAME), L"PNG");
    ASSERT_NE(nullptr, hResource);
    const DWORD cbResource = ::SizeofResource(hInstance, hResource);
    const void* pResource = ::LockResource(::LoadResource(hInstance, hResource));

    IStream* pRaw = KelDraw::CreateStreamFromResource(hResource, hInstance);
    ASSERT_NE(nullptr, pRaw);
    CComPtr<IStream> pStream;
    pStream.Attach(pRaw);
    EXPECT_EQ(1u, References(pStream));
    STATSTG stat = {};
    ASSERT_EQ(S_OK, pStream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(cbResource, stat.cbSize.QuadPart);
    std::string strBytes(cbResource, '\0');
    ULONG cbRead = 0;
    pStream->Read(&strBytes[0], cbResource, &cbRead);
    EXPECT_EQ(cbResource, cbRead);
    EXPECT_EQ(0, memcmp(strBytes.data(), pResource, cbResource));
    EXPECT_NE(pResource, static_cast<const void*>(strBytes.data()));
}

TEST(DecodePictureTest, PngResourcesLoadAndAMissingOneDrawsNothing)
{
    struct SCase
    {
        UINT nID;
        UINT cx, cy;
    };
    const SCase cases[] = {
        {IDR_PNG_FRAME, 104, 100}, {IDR_PNG_MARK, 12, 100}, {IDR_PNG_LINK, 88, 15}, {IDR_PNG_LINK_HOVER, 88, 15},
        {999, 0, 0},
    };
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(test.nID);
        CPictureHolder pPicture(KelDraw::LoadPngResource(test.nID));
        ASSERT_NE(nullptr, pPicture);
        EXPECT_EQ(test.cx, pPicture->GetWidth());
        EXPECT_EQ(test.cy, pPicture->GetHeight());
    }

    // The frame is transparent inside, opaque on its edge.
    CPictureHolder pFrame(KelDraw::LoadPngResource(IDR_PNG_FRAME));
    const CPixels frame = Drawn(pFrame.get(), 104, 100);
    EXPECT_EQ(0, TestSupport::Alpha(frame.At(52, 50)));
    EXPECT_EQ(255, TestSupport::Alpha(frame.At(4, 50)));

    CPictureHolder pMissing(KelDraw::LoadPngResource(999));
    const CPixels nothing = Drawn(pMissing.get(), 4, 4);
    for (uint32_t argb : nothing.argb)
        EXPECT_EQ(0u, argb);
}
