#include "platform/wayland/wayland_text.h"

#include <fontconfig/fontconfig.h>
#include FT_BITMAP_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The log is laid out for an 11-pixel dialog font, 16 pixels a line.
constexpr int fontPixels = 11;
constexpr char32_t replacementCharacter = 0xFFFD;

std::string sansSerifFile() {
    std::string file;
    if (!FcInit())
        return file;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (pattern == nullptr)
        return file;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* path = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch)
        file = reinterpret_cast<const char*>(path);
    if (match != nullptr)
        FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return file;
}

// The glyph of one character, drawn: from its outline where the font has one, for the
// embedded bitmaps of some fonts are 1-bit; else from the font's bitmaps.
bool loadGlyph(FT_Face face, char32_t character) {
    return FT_Load_Char(face, character, FT_LOAD_RENDER | FT_LOAD_NO_BITMAP) == 0 ||
           FT_Load_Char(face, character, FT_LOAD_RENDER) == 0;
}

} // namespace

char32_t nextUtf8Character(std::string_view text, size_t& at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at++);
    if (lead < 0x80)
        return lead;
    // The sequence's length and its first continuation byte's range, which rules out overlong
    // forms, surrogates and anything beyond U+10FFFF (Unicode's table of well-formed UTF-8).
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return replacementCharacter;
    }
    for (size_t i = 1; i < length; ++i) {
        if (at >= text.size() || byte(at) < low || byte(at) > high)
            return replacementCharacter;
        value = (value << 6) | (byte(at++) & 0x3F);
        low = 0x80, high = 0xBF;
    }
    return value;
}

void blendGlyph(XrgbPixels picture, const FT_Bitmap& glyph, int left, int top, uint32_t colour) {
    const bool mono = glyph.pixel_mode == FT_PIXEL_MODE_MONO;
    if (!mono && glyph.pixel_mode != FT_PIXEL_MODE_GRAY)
        return;
    const size_t rowBytes = mono ? (glyph.width + 7) / 8 : glyph.width;
    const size_t pitch = static_cast<size_t>(std::abs(glyph.pitch));
    if (glyph.buffer == nullptr || glyph.rows == 0 || pitch < rowBytes)
        return;
    const unsigned greys = mono ? 2 : glyph.num_grays;
    if (greys < 2)
        return;
    // Rows that run up start from the last row in memory.
    const uint8_t* topRow =
        glyph.pitch >= 0 ? glyph.buffer : glyph.buffer + pitch * (glyph.rows - 1);
    const uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    for (unsigned row = 0; row < glyph.rows; ++row) {
        const int y = top + static_cast<int>(row);
        if (y < 0 || y >= picture.height)
            continue;
        const uint8_t* coverage = topRow + static_cast<ptrdiff_t>(row) * glyph.pitch;
        uint8_t* line = picture.pixels + static_cast<ptrdiff_t>(picture.stride) * y;
        for (unsigned column = 0; column < glyph.width; ++column) {
            const int x = left + static_cast<int>(column);
            if (x < 0 || x >= picture.width)
                continue;
            const unsigned level =
                mono ? (coverage[column / 8] >> (7 - column % 8)) & 1 : coverage[column];
            const uint32_t a = level >= greys - 1 ? 255 : level * 255 / (greys - 1);
            if (a == 0)
                continue;
            uint8_t* pixel = line + x * 4; // blue, green, red, unused
            pixel[0] = static_cast<uint8_t>((pixel[0] * (255 - a) + blue * a) / 255);
            pixel[1] = static_cast<uint8_t>((pixel[1] * (255 - a) + green * a) / 255);
            pixel[2] = static_cast<uint8_t>((pixel[2] * (255 - a) + red * a) / 255);
        }
    }
}

void drawCanvasTexts(WaylandShmBuffer& picture, const std::vector<CanvasText>& texts) {
    for (int y = 0; y < picture.height; ++y)
        std::memset(picture.row(y), 0, static_cast<size_t>(picture.width) * 4);
    const std::string file = sansSerifFile();
    FT_Library library = nullptr;
    if (file.empty() || FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "kelvara: no font for the start-up log\n");
        return;
    }
    const XrgbPixels pixels{picture.row(0), picture.width, picture.height, picture.stride};
    FT_Face face = nullptr;
    FT_Bitmap converted;
    FT_Bitmap_Init(&converted);
    if (FT_New_Face(library, file.c_str(), 0, &face) == 0 &&
        FT_Set_Pixel_Sizes(face, 0, fontPixels) == 0) {
        const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
        for (const CanvasText& text : texts) {
            int penX = text.x;
            for (size_t at = 0; at < text.text.size();) {
                if (!loadGlyph(face, nextUtf8Character(text.text, at)))
                    continue;
                const FT_GlyphSlot glyph = face->glyph;
                const FT_Bitmap* bitmap = &glyph->bitmap;
                // Greys of 2 or 4 bits, colour: made 8-bit grey first.
                if (bitmap->pixel_mode != FT_PIXEL_MODE_GRAY &&
                    bitmap->pixel_mode != FT_PIXEL_MODE_MONO &&
                    FT_Bitmap_Convert(library, bitmap, &converted, 1) == 0)
                    bitmap = &converted;
                blendGlyph(pixels, *bitmap, penX + glyph->bitmap_left,
                           text.y + ascender - glyph->bitmap_top, text.colour);
                penX += static_cast<int>(glyph->advance.x >> 6);
            }
        }
    } else {
        std::fprintf(stderr, "kelvara: cannot read the font %s for the start-up log\n",
                     file.c_str());
    }
    FT_Bitmap_Done(library, &converted);
    if (face != nullptr)
        FT_Done_Face(face);
    FT_Done_FreeType(library);
}
