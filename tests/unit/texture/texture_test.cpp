// Texture without OpenGL: the conversion of bitmap pixels, ColorAt, and which GL calls the
// life of a texture makes (counted by recording_gl.cpp).
#include "texture/texture.h"

#include "platform/bitmap.h"
#include "tests/unit/texture/recording_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {

struct Bgr {
    uint8_t b, g, r;
};

// A bitmap from rows of pixels, top row first; a 32-bit one gets fourth bytes of `spare`.
Bitmap makeBitmap(const std::vector<std::vector<Bgr>>& rows, int bitsPerPixel, uint8_t spare = 0) {
    Bitmap bitmap(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), bitsPerPixel);
    for (int y = 0; y < bitmap.height; ++y) {
        uint8_t* p = bitmap.row(y);
        for (const Bgr& pixel : rows[y]) {
            *p++ = pixel.b;
            *p++ = pixel.g;
            *p++ = pixel.r;
            if (bitsPerPixel == 32)
                *p++ = spare;
        }
    }
    return bitmap;
}

std::vector<uint8_t> rgba(const Texture& texture, uint32_t index) {
    return {texture.pixels.begin() + index * 4, texture.pixels.begin() + index * 4 + 4};
}

void expectColor(Vector3 color, float r, float g, float b) {
    EXPECT_FLOAT_EQ(color.x, r);
    EXPECT_FLOAT_EQ(color.y, g);
    EXPECT_FLOAT_EQ(color.z, b);
}

const Bgr red{0, 0, 255}, green{0, 255, 0}, blue{255, 0, 0}, white{255, 255, 255};

TEST(TextureConversion, FlipsRowsBottomUpAndTurnsBlueGreenRedIntoRedGreenBlueAlpha) {
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        // Three across, two down: a transposed or unflipped copy lands elsewhere.
        Texture texture(makeBitmap({{red, green, blue}, {white, {1, 2, 3}, {40, 50, 60}}}, bits),
                        false, 0);
        ASSERT_EQ(texture.width, 3u);
        ASSERT_EQ(texture.height, 2u);
        ASSERT_EQ(texture.pixels.size(), 3u * 2u * 4u);
        // Bottom row first.
        EXPECT_EQ(rgba(texture, 0), (std::vector<uint8_t>{255, 255, 255, 255}));
        EXPECT_EQ(rgba(texture, 1), (std::vector<uint8_t>{3, 2, 1, 255}));
        EXPECT_EQ(rgba(texture, 2), (std::vector<uint8_t>{60, 50, 40, 255}));
        EXPECT_EQ(rgba(texture, 3), (std::vector<uint8_t>{255, 0, 0, 255}));
        EXPECT_EQ(rgba(texture, 4), (std::vector<uint8_t>{0, 255, 0, 255}));
        EXPECT_EQ(rgba(texture, 5), (std::vector<uint8_t>{0, 0, 255, 255}));
        EXPECT_FALSE(texture.uploaded);
        EXPECT_FALSE(texture.mipmapped);
    }
    Texture square(makeBitmap({{red, blue}, {blue, blue}}, 24), true, 0);
    EXPECT_EQ(rgba(square, 2), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_TRUE(square.mipmapped);
}

TEST(TextureConversion, TakesAlphaFromTheChosenChannelAndIgnoresTheSpareByte) {
    const Bgr pixel{30, 128, 200};
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        // A spare byte of 0 must not make the pixel transparent, nor 77 leak into any channel.
        for (uint8_t spare : {uint8_t{0}, uint8_t{77}}) {
            Bitmap bitmap = makeBitmap({{pixel}}, bits, spare);
            EXPECT_EQ(Texture(bitmap, false, 0).pixels, (std::vector<uint8_t>{200, 128, 30, 255}));
            EXPECT_EQ(Texture(bitmap, false, 1).pixels, (std::vector<uint8_t>{200, 128, 30, 200}));
            EXPECT_EQ(Texture(bitmap, false, 2).pixels, (std::vector<uint8_t>{200, 128, 30, 128}));
            EXPECT_EQ(Texture(bitmap, false, 3).pixels, (std::vector<uint8_t>{200, 128, 30, 30}));
            // Values outside 0..3 are taken as opaque.
            EXPECT_EQ(Texture(bitmap, false, 4).pixels, (std::vector<uint8_t>{200, 128, 30, 255}));
            EXPECT_EQ(Texture(bitmap, false, -1).pixels, (std::vector<uint8_t>{200, 128, 30, 255}));
        }
    }
}

// The conversion reads whole words per pixel; every column, the last one of a row above all,
// and every row must still come out as a pixel-by-pixel copy would.
TEST(TextureConversion, MatchesAPixelByPixelCopyOnLargeOddSizedBitmaps) {
    std::mt19937 generator(12345);
    for (int bits : {24, 32}) {
        Bitmap bitmap(257, 131, bits);
        std::generate(bitmap.pixels.begin(), bitmap.pixels.end(),
                      [&] { return static_cast<uint8_t>(generator()); });
        for (int alphaSource = 0; alphaSource <= 3; ++alphaSource) {
            SCOPED_TRACE(testing::Message() << bits << " bits, alpha source " << alphaSource);
            Texture texture(bitmap, false, alphaSource);
            ASSERT_EQ(texture.pixels.size(), 257u * 131u * 4u);
            int mismatches = 0;
            for (int i = 0; i < bitmap.height; ++i) {
                for (int j = 0; j < bitmap.width; ++j) {
                    const uint8_t* s = bitmap.row(i) + j * bitmap.bytesPerPixel();
                    const uint8_t* d =
                        texture.pixels.data() + ((bitmap.height - 1 - i) * bitmap.width + j) * 4;
                    const uint8_t alpha = alphaSource == 0 ? 255 : s[3 - alphaSource];
                    mismatches += d[0] != s[2] || d[1] != s[1] || d[2] != s[0] || d[3] != alpha;
                }
            }
            EXPECT_EQ(mismatches, 0);
        }
    }
}

TEST(TextureConversion, GivesDefinedPixelsForBitmapsItCannotRead) {
    // Another pixel format: black, of the stated size.
    Bitmap sixteen(2, 2, 24);
    sixteen.bitsPerPixel = 16;
    std::fill(sixteen.pixels.begin(), sixteen.pixels.end(), 0xAB);
    Texture opaque(sixteen, false, 0);
    EXPECT_EQ(opaque.width, 2u);
    EXPECT_EQ(opaque.height, 2u);
    EXPECT_EQ(opaque.pixels,
              (std::vector<uint8_t>{0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    EXPECT_EQ(Texture(sixteen, false, 2).pixels, std::vector<uint8_t>(16, 0));

    // A size that the buffer does not hold: empty, and nothing read past the buffer.
    Bitmap shortBuffer(4, 4, 24);
    shortBuffer.height = 5;
    Texture empty(shortBuffer, false, 0);
    EXPECT_EQ(empty.width, 0u);
    EXPECT_EQ(empty.height, 0u);
    EXPECT_TRUE(empty.pixels.empty());
    expectColor(empty.ColorAt(0.5f, 0.5f), 0, 0, 0);

    // A huge stated size with no bytes must not allocate for it.
    Bitmap huge;
    huge.width = std::numeric_limits<int>::max();
    huge.height = std::numeric_limits<int>::max();
    EXPECT_TRUE(Texture(huge, false, 0).pixels.empty());

    Bitmap none;
    EXPECT_TRUE(Texture(none, false, 0).pixels.empty());
    Bitmap negative(2, 2, 24);
    negative.width = -2;
    EXPECT_TRUE(Texture(negative, false, 0).pixels.empty());
}

TEST(TextureColorAt, ReadsTheTopRowAtVZeroAndClampsBelowZeroButWrapsAtOneAndAbove) {
    Texture texture(
        makeBitmap({{red, green, blue, white}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {51, 102, 153}}},
                   24),
        false, 0);
    expectColor(texture.ColorAt(0, 0), 1, 0, 0);
    expectColor(texture.ColorAt(0.25f, 0), 0, 1, 0);
    expectColor(texture.ColorAt(0.99f, 0.99f), 0.6f, 0.4f, 0.2f);
    // Truncated toward zero, so 0.74 of 4 columns is column 2.
    expectColor(texture.ColorAt(0.74f, 0), 0, 0, 1);
    // u = 1 wraps to the first column; -0.25 clamps to it.
    expectColor(texture.ColorAt(1, 0), 1, 0, 0);
    expectColor(texture.ColorAt(-0.25f, 0), 1, 0, 0);
    expectColor(texture.ColorAt(1.5f, 0), 0, 0, 1);
    expectColor(texture.ColorAt(-7.0f, 0), 1, 0, 0);
    // The same for v: 1 wraps to the top row, -0.5 clamps to it, 1.5 wraps to the bottom row.
    expectColor(texture.ColorAt(0.75f, 1), 1, 1, 1);
    expectColor(texture.ColorAt(0.75f, -0.5f), 1, 1, 1);
    expectColor(texture.ColorAt(0.75f, 1.5f), 0.6f, 0.4f, 0.2f);
}

TEST(TextureColorAt, GivesAPixelOfTheTextureForCoordinatesNoIntegerCanHold) {
    Texture texture(makeBitmap({{red, green, blue}}, 24), false, 0);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // 3e9 columns is a multiple of 3: the first column.
    expectColor(texture.ColorAt(1e9f, 0), 1, 0, 0);
    expectColor(texture.ColorAt(-1e30f, 0), 1, 0, 0);
    expectColor(texture.ColorAt(nan, nan), 1, 0, 0);
    expectColor(texture.ColorAt(inf, -inf), 1, 0, 0);
    const Vector3 far = texture.ColorAt(3e30f, 1e20f);
    EXPECT_FLOAT_EQ(far.x + far.y + far.z, 1.0f); // one of the three pixels
}

TEST(TextureGlCalls, ConstructingAndDestroyingANeverBoundTextureMakesNone) {
    glCalls.clear();
    {
        Texture texture(makeBitmap({{red, green}, {blue, white}}, 24), true, 0);
        texture.ColorAt(0.5f, 0.5f);
    }
    EXPECT_TRUE(glCalls.empty());
}

TEST(TextureGlCalls, ReleaseDeletesOnlyATextureThatExistsAndTheDestructorNothingMore) {
    Bitmap bitmap = makeBitmap({{red, green}, {blue, white}}, 24);
    glCalls.clear();
    {
        Texture texture(bitmap, false, 0);
        texture.Bind();
        EXPECT_TRUE(texture.uploaded);
        EXPECT_NE(texture.name, 0u);
        texture.Release();
        EXPECT_FALSE(texture.uploaded);
        // A second Release (and the destructor) must not delete the name again: by now it may
        // belong to another texture.
        texture.Release();
    }
    EXPECT_EQ(std::count(glCalls.begin(), glCalls.end(), "glDeleteTextures"), 1);
    EXPECT_EQ(std::count(glCalls.begin(), glCalls.end(), "glGenTextures"), 1);

    glCalls.clear();
    {
        Texture texture(bitmap, false, 0);
        texture.Bind();
    }
    EXPECT_EQ(std::count(glCalls.begin(), glCalls.end(), "glDeleteTextures"), 1);
}

} // namespace
