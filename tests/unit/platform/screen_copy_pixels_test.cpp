// A Wayland screen copy made upright: each of the eight output transforms, as the compositor
// applies them to its framebuffer (a mirror around the vertical axis, then a turn counter-
// clockwise), undone; rows stored bottom up; and the 10-bit formats brought to 8 bits.
#include "platform/wayland/screen_copy_pixels.h"

#include <gtest/gtest.h>
#include <wayland-client-protocol.h>

#include <cstdint>
#include <vector>

namespace {

// A small picture of distinct values, one per pixel, row by row.
struct Grid {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> cells;
    uint32_t at(int x, int y) const { return cells[static_cast<size_t>(y * width + x)]; }
};

Grid mirrored(const Grid& in) {
    Grid out{in.width, in.height, {}};
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            out.cells.push_back(in.at(in.width - 1 - x, y));
    return out;
}

// Turned a quarter counter-clockwise: the right column becomes the top row.
Grid turnedCounterClockwise(const Grid& in) {
    Grid out{in.height, in.width, {}};
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            out.cells.push_back(in.at(in.width - 1 - y, x));
    return out;
}

// As XRGB8888 rows of the given stride, bottom row first when asked.
std::vector<uint8_t> framebuffer(const Grid& grid, int stride, bool bottomUp) {
    std::vector<uint8_t> bytes(static_cast<size_t>(stride * grid.height), 0xEE);
    for (int y = 0; y < grid.height; ++y) {
        uint8_t* row = bytes.data() + (bottomUp ? grid.height - 1 - y : y) * stride;
        for (int x = 0; x < grid.width; ++x) {
            const uint32_t value = grid.at(x, y);
            for (int byte = 0; byte < 4; ++byte)
                row[x * 4 + byte] = static_cast<uint8_t>(value >> (8 * byte));
        }
    }
    return bytes;
}

void expectPicture(const Bitmap& picture, const Grid& upright, const std::string& what) {
    ASSERT_EQ(picture.width, upright.width) << what;
    ASSERT_EQ(picture.height, upright.height) << what;
    for (int y = 0; y < upright.height; ++y)
        for (int x = 0; x < upright.width; ++x) {
            const uint8_t* pixel = picture.row(y) + x * 3; // blue, green, red
            const uint32_t value = pixel[0] | (pixel[1] << 8) | (pixel[2] << 16);
            EXPECT_EQ(value, upright.at(x, y) & 0xFFFFFF) << what << " at " << x << ", " << y;
        }
}

TEST(ScreenCopyPixels, EveryTransformOfTheFramebufferIsUndone) {
    Grid upright{3, 2, {}};
    for (uint32_t i = 0; i < 6; ++i)
        upright.cells.push_back(0x102030 * (i + 1)); // distinct in each channel
    for (uint32_t transform = 0; transform < 8; ++transform) {
        Grid shown = transform >= WL_OUTPUT_TRANSFORM_FLIPPED ? mirrored(upright) : upright;
        for (uint32_t turn = 0; turn < (transform & 3); ++turn)
            shown = turnedCounterClockwise(shown);
        for (const bool bottomUp : {false, true}) {
            const int stride = shown.width * 4 + 8; // rows with padding
            const std::vector<uint8_t> bytes = framebuffer(shown, stride, bottomUp);
            expectPicture(uprightScreenCopy(bytes.data(), shown.width, shown.height, stride,
                                            WL_SHM_FORMAT_XRGB8888, bottomUp, transform),
                          upright,
                          "transform " + std::to_string(transform) +
                              (bottomUp ? ", bottom up" : ""));
        }
    }
    // A transform the protocol does not have is taken as none.
    const std::vector<uint8_t> bytes = framebuffer(upright, 12, false);
    expectPicture(uprightScreenCopy(bytes.data(), 3, 2, 12, WL_SHM_FORMAT_XRGB8888, false, 99),
                  upright, "transform 99");
}

TEST(ScreenCopyPixels, TenBitFormatsComeToEightBitsAndOthersAreRefused) {
    // Red at full, green at half, blue at a quarter, alpha or padding at full: 2-10-10-10 from
    // the top bit down, red high for the RGB formats and blue high for the BGR ones.
    const uint32_t rgb = (3u << 30) | (1023u << 20) | (512u << 10) | 256u;
    const uint32_t bgr = (3u << 30) | (256u << 20) | (512u << 10) | 1023u;
    const struct {
        uint32_t format;
        uint32_t word;
    } cases[] = {
        {WL_SHM_FORMAT_XRGB2101010, rgb},     {WL_SHM_FORMAT_ARGB2101010, rgb},
        {WL_SHM_FORMAT_XBGR2101010, bgr},     {WL_SHM_FORMAT_ABGR2101010, bgr},
        {WL_SHM_FORMAT_XBGR8888, 0xFF4080FF}, // red low for the 8-bit BGR formats
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(screenCopyFormatReadable(c.format)) << c.format;
        const uint8_t bytes[4] = {static_cast<uint8_t>(c.word), static_cast<uint8_t>(c.word >> 8),
                                  static_cast<uint8_t>(c.word >> 16),
                                  static_cast<uint8_t>(c.word >> 24)};
        const Bitmap picture = uprightScreenCopy(bytes, 1, 1, 4, c.format, false, 0);
        EXPECT_EQ(picture.row(0)[2], 255) << "red of format " << c.format;
        EXPECT_EQ(picture.row(0)[1], 128) << "green of format " << c.format;
        EXPECT_EQ(picture.row(0)[0], 64) << "blue of format " << c.format;
    }
    EXPECT_FALSE(screenCopyFormatReadable(WL_SHM_FORMAT_RGB565));
    EXPECT_FALSE(screenCopyFormatReadable(WL_SHM_FORMAT_XRGB16161616F));
}

} // namespace
