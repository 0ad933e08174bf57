// The start-up log's text on Wayland: UTF-8 read character by character, bad sequences included,
// and a 1-bit glyph (a font's embedded bitmap) laid over the picture within its own rows.
#include "platform/wayland/wayland_text.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

std::vector<char32_t> characters(std::string_view text) {
    std::vector<char32_t> out;
    for (size_t at = 0; at < text.size();) {
        const size_t before = at;
        out.push_back(nextUtf8Character(text, at));
        EXPECT_GT(at, before);
        EXPECT_LE(at, text.size());
    }
    return out;
}

TEST(WaylandText, Utf8IsReadByCharacterAndABadSequenceIsOneReplacementAtATime) {
    using C = std::vector<char32_t>;
    EXPECT_EQ(characters("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), (C{'a', 0xE9, 0x20AC, 0x1F600}));
    EXPECT_EQ(characters("\xF4\x8F\xBF\xBF"), (C{0x10FFFF}));
    const char32_t bad = 0xFFFD;
    // Cut short, at the end and before another character: never read past the text.
    EXPECT_EQ(characters("x\xE2\x82"), (C{'x', bad}));
    EXPECT_EQ(characters("\xF0\x9F\x98"
                         "a"),
              (C{bad, 'a'}));
    // Overlong forms, surrogates, beyond U+10FFFF, stray continuation bytes, bytes never used.
    EXPECT_EQ(characters("\xC0\xAF"), (C{bad, bad}));
    EXPECT_EQ(characters("\xE0\x80\x80"), (C{bad, bad, bad}));
    EXPECT_EQ(characters("\xED\xA0\x80"), (C{bad, bad, bad}));
    EXPECT_EQ(characters("\xF4\x90\x80\x80"), (C{bad, bad, bad, bad}));
    EXPECT_EQ(characters("\x80z\xFF"), (C{bad, 'z', bad}));
}

TEST(WaylandText, AOneBitGlyphInRowsThatRunUpIsBlendedWithinItsRows) {
    // Ten pixels a row in two bytes, rows of four bytes, bottom row first in memory (a negative
    // pitch). Top row: pixels 0 and 9; bottom row: pixel 1. The bits past the tenth and the
    // row's padding are set, and must not show.
    uint8_t bits[8] = {0x40, 0x3F, 0xFF, 0xFF, 0x80, 0x7F, 0xFF, 0xFF};
    FT_Bitmap glyph{};
    glyph.rows = 2;
    glyph.width = 10;
    glyph.pitch = -4;
    glyph.buffer = bits;
    glyph.pixel_mode = FT_PIXEL_MODE_MONO;
    glyph.num_grays = 1;

    constexpr int width = 12, height = 3, stride = width * 4;
    std::vector<uint8_t> pixels(stride * height, 0);
    const XrgbPixels picture{pixels.data(), width, height, stride};
    const auto lit = [&](int x, int y) { return pixels[y * stride + x * 4 + 2] == 0xFF; };
    const auto dark = [&](int x, int y) {
        const uint8_t* p = &pixels[y * stride + x * 4];
        return p[0] == 0 && p[1] == 0 && p[2] == 0;
    };

    blendGlyph(picture, glyph, 1, 0, 0x0000FF); // red
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool shouldLight = (y == 0 && (x == 1 || x == 10)) || (y == 1 && x == 2);
            EXPECT_TRUE(shouldLight ? lit(x, y) : dark(x, y)) << x << ", " << y;
        }

    // Clipped at every edge: the top row alone on the last picture row, moved left by one.
    std::fill(pixels.begin(), pixels.end(), 0);
    blendGlyph(picture, glyph, -1, 2, 0x0000FF);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_TRUE(y == 2 && x == 8 ? lit(x, y) : dark(x, y)) << x << ", " << y;
}

} // namespace
