#include "platform/wayland/wayland_text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The log is laid out for an 11-pixel dialog font, 16 pixels a line.
constexpr int fontPixels = 11;

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

// Lays one glyph's coverage over the picture in the text's colour.
void blend(WaylandShmBuffer& picture, const FT_Bitmap& glyph, int left, int top, uint32_t colour) {
    const uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    for (unsigned row = 0; row < glyph.rows; ++row) {
        const int y = top + static_cast<int>(row);
        if (y < 0 || y >= picture.height)
            continue;
        const uint8_t* coverage = glyph.buffer + static_cast<ptrdiff_t>(row) * glyph.pitch;
        for (unsigned column = 0; column < glyph.width; ++column) {
            const int x = left + static_cast<int>(column);
            if (x < 0 || x >= picture.width || coverage[column] == 0)
                continue;
            uint8_t* pixel = picture.row(y) + x * 4; // blue, green, red, unused
            const uint32_t a = coverage[column];
            pixel[0] = static_cast<uint8_t>((pixel[0] * (255 - a) + blue * a) / 255);
            pixel[1] = static_cast<uint8_t>((pixel[1] * (255 - a) + green * a) / 255);
            pixel[2] = static_cast<uint8_t>((pixel[2] * (255 - a) + red * a) / 255);
        }
    }
}

} // namespace

void drawCanvasTexts(WaylandShmBuffer& picture, const std::vector<CanvasText>& texts) {
    for (int y = 0; y < picture.height; ++y)
        std::memset(picture.row(y), 0, static_cast<size_t>(picture.width) * 4);
    const std::string file = sansSerifFile();
    FT_Library library = nullptr;
    if (file.empty() || FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "kelvara: no font for the start-up log\n");
        return;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), 0, &face) == 0 &&
        FT_Set_Pixel_Sizes(face, 0, fontPixels) == 0) {
        const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
        for (const CanvasText& text : texts) {
            int penX = text.x;
            for (unsigned char c : text.text) {
                if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0)
                    continue;
                const FT_GlyphSlot glyph = face->glyph;
                blend(picture, glyph->bitmap, penX + glyph->bitmap_left,
                      text.y + ascender - glyph->bitmap_top, text.colour);
                penX += static_cast<int>(glyph->advance.x >> 6);
            }
        }
    } else {
        std::fprintf(stderr, "kelvara: cannot read the font %s for the start-up log\n",
                     file.c_str());
    }
    if (face != nullptr)
        FT_Done_Face(face);
    FT_Done_FreeType(library);
}
