#include "glv_main/frame_rate_overlay.h"

#include "common/multitexture.h"
#include "platform/gl.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// 5 x 7 glyphs, one byte a row from the top, the leftmost pixel in bit 4.
struct Glyph {
    char c;
    std::array<uint8_t, 7> rows;
};
constexpr Glyph glyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
};

// Drawn at twice the glyphs' size, so that the text reads on a large screen: 10 x 14 pixels,
// two bytes a row, bottom row first as glBitmap takes them.
constexpr int scale = 2;
constexpr int glyphWidth = 5 * scale;
constexpr int glyphHeight = 7 * scale;
constexpr int advance = glyphWidth + scale;
constexpr int margin = 8;
constexpr int padding = 4;

struct Bitmaps {
    std::array<std::array<GLubyte, 2 * glyphHeight>, std::size(glyphs)> bits{};
};

constexpr Bitmaps makeBitmaps() {
    Bitmaps out;
    for (size_t g = 0; g < std::size(glyphs); ++g) {
        for (int row = 0; row < glyphHeight; ++row) {
            const uint8_t source = glyphs[g].rows[static_cast<size_t>(6 - row / scale)];
            uint16_t wide = 0;
            for (int x = 0; x < glyphWidth; ++x) {
                if (source & (0x10 >> (x / scale)))
                    wide |= static_cast<uint16_t>(0x8000 >> x);
            }
            out.bits[g][static_cast<size_t>(2 * row)] = static_cast<GLubyte>(wide >> 8);
            out.bits[g][static_cast<size_t>(2 * row + 1)] = static_cast<GLubyte>(wide & 0xFF);
        }
    }
    return out;
}
constexpr Bitmaps bitmaps = makeBitmaps();

// nullptr for a character without a glyph (the blank).
const GLubyte* bitmapOf(char c) {
    for (size_t g = 0; g < std::size(glyphs); ++g) {
        if (glyphs[g].c == c)
            return bitmaps.bits[g].data();
    }
    return nullptr;
}

} // namespace

void FrameRateOverlay::frame(Clock::time_point now) {
    if (framesSince < 0) {
        since = now;
        framesSince = 0;
        return;
    }
    ++framesSince;
    const double seconds = std::chrono::duration<double>(now - since).count();
    if (seconds >= 0.5) {
        std::snprintf(shown, sizeof shown, "%.1f fps", static_cast<double>(framesSince) / seconds);
        since = now;
        framesSince = 0;
    }
}

void FrameRateOverlay::draw(int width, int height) const {
    if (shown[0] == '\0' || width <= 0 || height <= 0)
        return;
    int length = 0;
    while (shown[length] != '\0')
        ++length;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // Bitmaps are textured, lit, fogged and tested like any fragment: switch all that off.
    GLint units = 1;
    if (activeTextureARB != nullptr)
        glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    for (GLint unit = units - 1; unit >= 0; --unit) {
        if (activeTextureARB != nullptr)
            activeTextureARB(static_cast<GLenum>(GL_TEXTURE0_ARB + unit));
        glDisable(GL_TEXTURE_1D);
        glDisable(GL_TEXTURE_2D);
    }
    for (GLenum capability : {GL_LIGHTING, GL_DEPTH_TEST, GL_BLEND, GL_FOG, GL_ALPHA_TEST,
                              GL_CULL_FACE, GL_STENCIL_TEST, GL_SCISSOR_TEST})
        glDisable(capability);
    glViewport(0, 0, width, height);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);

    // A dark plate under the text keeps it legible over a bright picture.
    glColor3f(0, 0, 0);
    glRecti(margin - padding, margin - padding, margin + length * advance - scale + padding,
            margin + glyphHeight + padding);
    glColor3f(1, 1, 1);
    glRasterPos2i(margin, margin);
    for (int i = 0; i < length; ++i) {
        const GLubyte* bits = bitmapOf(shown[i]);
        static constexpr GLubyte blank[2 * glyphHeight] = {};
        glBitmap(glyphWidth, glyphHeight, 0, 0, advance, 0, bits != nullptr ? bits : blank);
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
}
