// The start-up log's texts on a picture without a toolkit: the desktop's sans-serif font
// through fontconfig and FreeType, at the size of the dialog font the log was laid out for.
#pragma once

#include "platform/form_window.h"
#include "platform/wayland/wayland_shm_buffer.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Fills the picture (XRGB, 4 bytes a pixel) with black and writes the texts on it, each with
// its top-left corner at its position. Without a usable font the picture stays black: the log
// is on standard error as well.
void drawCanvasTexts(WaylandShmBuffer& picture, const std::vector<CanvasText>& texts);

// The character of UTF-8 text that starts at byte at, which moves past it. A sequence that is
// cut short, overlong, a surrogate or beyond U+10FFFF gives U+FFFD and moves past its longest
// well-formed start (at least one byte); never past the end of text.
char32_t nextUtf8Character(std::string_view text, size_t& at);

// Pixels of 4 bytes (blue, green, red, unused), top row first, in rows of stride bytes.
struct XrgbPixels {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// Lays a glyph's coverage over the picture in colour (0xBBGGRR), its top-left pixel at left, top,
// clipped to the picture. The glyph is FreeType's 8-bit grey (of any number of greys) or 1-bit,
// in rows that run down or up (the sign of its pitch); any other kind is left out.
void blendGlyph(XrgbPixels picture, const FT_Bitmap& glyph, int left, int top, uint32_t colour);
