#include "data/art.h"
#include "datfile/datfile.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::span<const uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

bool isPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// The share of pixels bright enough for the intro to give birth to sparks there.
double brightShare(const Bitmap& bitmap) {
    int bright = 0;
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            const uint8_t* p = bitmap.row(y) + x * bitmap.bytesPerPixel();
            const double r = p[2] / 255.0, g = p[1] / 255.0, b = p[0] / 255.0;
            bright += std::sqrt(r * r + g * g + b * b) > 0.2;
        }
    }
    return static_cast<double>(bright) / (bitmap.width * bitmap.height);
}

TEST(Art, BuiltInPicturesHaveTheirSizesAndAreNotBlank) {
    const Bitmap logo = previewLogoBitmap();
    EXPECT_EQ(logo.width, 140);
    EXPECT_EQ(logo.height, 70);
    EXPECT_EQ(logo.bitsPerPixel, 24);
    EXPECT_GT(brightShare(logo), 0.1);
    for (const int size : {32, 16}) {
        const Bitmap icon = iconBitmap(size);
        EXPECT_EQ(icon.width, size);
        EXPECT_EQ(icon.height, size);
        EXPECT_EQ(icon.bitsPerPixel, 24);
        EXPECT_GT(brightShare(icon), 0.3);
    }
    EXPECT_THROW(iconBitmap(48), Exception);
}

TEST(Art, PpmPixelsBecomeBlueGreenRedAndBadPpmIsRefused) {
    const Bitmap bitmap = bitmapFromPpm(bytes(std::string("P6\n# made by hand\n2 1\n255\n") +
                                              std::string("\x01\x02\x03\xFA\xFB\xFC", 6)));
    ASSERT_EQ(bitmap.width, 2);
    ASSERT_EQ(bitmap.height, 1);
    EXPECT_EQ(bitmap.pixels, (PixelBuffer{3, 2, 1, 0xFC, 0xFB, 0xFA}));

    for (const std::string bad :
         {"", "P5\n1 1\n255\n\x01", "P6\n1 1\n65535\n\x01\x02\x03\x04\x05\x06",
          "P6\n1 1\n255\n\x01\x02", "P6\n1 1\n255\n\x01\x02\x03\x04", "P6\n0 1\n255\n",
          "P6\n99999999 1\n255\n", "P6 1", "P6\n1 1\n255"}) {
        EXPECT_THROW(bitmapFromPpm(bytes(bad)), Exception) << bad;
    }
}

TEST(Art, LogoDatHoldsTheIntrosThreePicturesInUsableSizes) {
    const DatFile logoDat(KELVARA_BINARY_DIR "/Tarnwick/logo.dat");
    EXPECT_EQ(logoDat.names, (std::vector<std::string>{"logo1.bmp", "smoke.bmp", "shine.bmp"}));

    const Bitmap* logo = logoDat.getBitmap("logo1.bmp");
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->width, 512);
    EXPECT_EQ(logo->height, 256);
    // Bright lettering on black: enough light to give birth to sparks, and black around it.
    EXPECT_GT(brightShare(*logo), 0.15);
    EXPECT_LT(brightShare(*logo), 0.6);

    for (const char* name : {"smoke.bmp", "shine.bmp"}) {
        const Bitmap* picture = logoDat.getBitmap(name);
        ASSERT_NE(picture, nullptr) << name;
        EXPECT_TRUE(isPowerOfTwo(picture->width)) << name;
        EXPECT_TRUE(isPowerOfTwo(picture->height)) << name;
        EXPECT_GT(brightShare(*picture), 0.05) << name;
    }
}

} // namespace
