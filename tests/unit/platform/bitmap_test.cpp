#include "platform/bitmap.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

void fill(Bitmap& b, uint8_t blue, uint8_t green, uint8_t red) {
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            uint8_t* p = b.row(y) + x * b.bytesPerPixel();
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}

TEST(Bitmap, RowsArePackedTopFirst) {
    Bitmap b(3, 2, 24);
    EXPECT_EQ(b.rowBytes(), 9u);
    EXPECT_EQ(b.pixels.size(), 18u);
    EXPECT_EQ(b.row(1) - b.row(0), 9);
    Bitmap c(3, 2, 32);
    EXPECT_EQ(c.rowBytes(), 12u);
}

TEST(Bitmap, RefusesSizesItCannotHold) {
    EXPECT_THROW(Bitmap(0, 5, 24), Exception);
    EXPECT_THROW(Bitmap(5, -1, 24), Exception);
    EXPECT_THROW(Bitmap(100000, 100000, 24), Exception);
    EXPECT_THROW(Bitmap(4, 4, 16), Exception);
}

TEST(Bitmap, ScreenSizedPicturesHoldEveryPixelThroughCopiesAndConversions) {
    // Large pictures live in memory of their own (large pages), small ones on the heap.
    for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{3, 2}}) {
        Bitmap picture(width, height, 32);
        for (size_t i = 0; i < picture.pixels.size(); ++i) {
            picture.pixels[i] = static_cast<uint8_t>(i * 7 + i / 4096);
        }
        const Bitmap copy = picture;
        EXPECT_EQ(copy.pixels, picture.pixels);
        picture.setPixelFormat(24);
        EXPECT_EQ(picture.row(height - 1)[3 * (width - 1)], copy.row(height - 1)[4 * (width - 1)]);
        Bitmap moved = std::move(picture);
        EXPECT_EQ(moved.pixels.size(), static_cast<size_t>(width) * height * 3);
    }
}

TEST(Bitmap, PixelFormatChangeKeepsColours) {
    Bitmap b(2, 2, 32);
    fill(b, 10, 20, 30);
    b.setPixelFormat(24);
    EXPECT_EQ(b.bitsPerPixel, 24);
    ASSERT_EQ(b.pixels.size(), 12u);
    EXPECT_EQ(b.row(1)[3], 10);
    EXPECT_EQ(b.row(1)[4], 20);
    EXPECT_EQ(b.row(1)[5], 30);
}

TEST(Bitmap, StretchKeepsFlatColourExact) {
    Bitmap source(1920, 1080, 32);
    fill(source, 7, 128, 250);
    Bitmap dest(1024, 1024, 24);
    dest.stretchDraw(source, 0, 0, 1024, 768);
    for (int y : {0, 383, 767}) {
        for (int x : {0, 511, 1023}) {
            const uint8_t* p = dest.row(y) + x * 3;
            EXPECT_EQ(p[0], 7);
            EXPECT_EQ(p[1], 128);
            EXPECT_EQ(p[2], 250);
        }
    }
    // The rows below the rectangle are not drawn into.
    EXPECT_EQ(dest.row(768)[0], 0);
    EXPECT_EQ(dest.row(1023)[3 * 1023 + 2], 0);
}

TEST(Bitmap, ShrinkingAveragesInsteadOfSkipping) {
    // One-pixel black and white stripes must become grey, not a copy of every other stripe.
    Bitmap source(8, 2, 24);
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 2; ++y) {
            std::fill_n(source.row(y) + x * 3, 3, x % 2 ? 255 : 0);
        }
    }
    Bitmap dest(4, 1, 24);
    dest.stretchDraw(source, 0, 0, 4, 1);
    for (int x = 0; x < 4; ++x) {
        EXPECT_NEAR(dest.row(0)[x * 3], 128, 1);
    }
}

TEST(Bitmap, ShrinkingManyRowsAveragesEachBlockOfRowsOnItsOwn) {
    // Rows grow brighter downwards; each destination row must be the mean of its own block of
    // ten source rows, also where the top of the drawing is clipped away.
    Bitmap source(2, 60, 32);
    for (int y = 0; y < source.height; ++y) {
        std::fill_n(source.row(y), source.rowBytes(), static_cast<uint8_t>(4 * y));
    }
    Bitmap dest(2, 6, 24);
    dest.stretchDraw(source, 0, 0, 2, 6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(dest.row(k)[0], 40 * k + 18, 1) << "row " << k;
        EXPECT_NEAR(dest.row(k)[5], 40 * k + 18, 1) << "row " << k;
    }
    Bitmap clipped(2, 4, 24);
    clipped.stretchDraw(source, 0, -2, 2, 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(clipped.row(k)[0], 40 * (k + 2) + 18, 1) << "row " << k;
    }
}

TEST(Bitmap, SameSizeDrawIsACopyAndOffsetsAreClipped) {
    Bitmap source(3, 2, 24);
    for (size_t i = 0; i < source.pixels.size(); ++i) {
        source.pixels[i] = static_cast<uint8_t>(i * 13);
    }
    Bitmap copy(3, 2, 24);
    copy.stretchDraw(source, 0, 0, 3, 2);
    EXPECT_EQ(copy.pixels, source.pixels);

    Bitmap shifted(3, 2, 24);
    shifted.stretchDraw(source, 1, 1, 4, 3);
    EXPECT_EQ(shifted.row(1)[3], source.row(0)[0]);
    EXPECT_EQ(shifted.row(0)[0], 0);
}

TEST(Bitmap, GrowingBlendsNeighbours) {
    Bitmap source(2, 1, 24);
    std::fill_n(source.row(0) + 3, 3, 200);
    Bitmap dest(4, 1, 24);
    dest.stretchDraw(source, 0, 0, 4, 1);
    EXPECT_EQ(dest.row(0)[0], 0);
    EXPECT_GT(dest.row(0)[3], 0);
    EXPECT_LT(dest.row(0)[6], 200);
    EXPECT_EQ(dest.row(0)[9], 200);
}

} // namespace
