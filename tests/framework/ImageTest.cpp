#include "framework/Image.h"

#include <gtest/gtest.h>

TEST(ImageTest, AttachTakesOverWhatItIsGivenEvenWhenItCannotUseIt)
{
    CImage image;
    HBITMAP hBitmap = ::CreateBitmap(7, 5, 1, 32, nullptr);
    ASSERT_NE(nullptr, hBitmap);
    image.Attach(hBitmap);
    EXPECT_EQ(hBitmap, image.GetSafeHandle());
    EXPECT_EQ(7, image.GetWidth());
    EXPECT_EQ(5, image.GetHeight());

    // A handle GetObject cannot describe as a bitmap: a region.
    HRGN hRgn = ::CreateRectRgn(0, 0, 4, 4);
    ASSERT_NE(nullptr, hRgn);
    image.Attach(reinterpret_cast<HBITMAP>(hRgn));
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(0, image.GetWidth());
    EXPECT_EQ(0u, ::GetObjectType(hBitmap)) << "the bitmap attached before is deleted";
    EXPECT_EQ(0u, ::GetObjectType(hRgn)) << "what was handed over is deleted, not left behind";
}
