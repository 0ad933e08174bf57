#include "platform/wayland/screen_copy_pixels.h"

#include <wayland-client-protocol.h>

#include <cstddef>

namespace {

// Where each channel sits in a pixel's 32-bit little-endian word, and how wide it is.
struct Channels {
    int redShift;
    int greenShift;
    int blueShift;
    int bits;
};

bool channelsOf(uint32_t format, Channels& channels) {
    switch (format) {
    case WL_SHM_FORMAT_XRGB8888:
    case WL_SHM_FORMAT_ARGB8888:
        channels = {16, 8, 0, 8};
        return true;
    case WL_SHM_FORMAT_XBGR8888:
    case WL_SHM_FORMAT_ABGR8888:
        channels = {0, 8, 16, 8};
        return true;
    case WL_SHM_FORMAT_XRGB2101010:
    case WL_SHM_FORMAT_ARGB2101010:
        channels = {20, 10, 0, 10};
        return true;
    case WL_SHM_FORMAT_XBGR2101010:
    case WL_SHM_FORMAT_ABGR2101010:
        channels = {0, 10, 20, 10};
        return true;
    default:
        return false;
    }
}

} // namespace

bool screenCopyFormatReadable(uint32_t format) {
    Channels unused{};
    return channelsOf(format, unused);
}

Bitmap uprightScreenCopy(const uint8_t* pixels, int width, int height, int stride, uint32_t format,
                         bool yInverted, uint32_t transform) {
    Channels channels{16, 8, 0, 8};
    channelsOf(format, channels);
    if (transform > WL_OUTPUT_TRANSFORM_FLIPPED_270)
        transform = WL_OUTPUT_TRANSFORM_NORMAL;
    // The compositor turned the picture counter-clockwise, after a mirror for the flipped
    // transforms; each pixel of the upright picture (ux, uy) is read from the copy at
    // bx = x0 + ux * xx + uy * xy, by = y0 + ux * yx + uy * yy.
    const int w = width - 1, h = height - 1;
    int x0 = 0, xx = 1, xy = 0, y0 = 0, yx = 0, yy = 1;
    switch (transform) {
    case WL_OUTPUT_TRANSFORM_90:
        x0 = 0, xx = 0, xy = 1, y0 = h, yx = -1, yy = 0;
        break;
    case WL_OUTPUT_TRANSFORM_180:
        x0 = w, xx = -1, xy = 0, y0 = h, yx = 0, yy = -1;
        break;
    case WL_OUTPUT_TRANSFORM_270:
        x0 = w, xx = 0, xy = -1, y0 = 0, yx = 1, yy = 0;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED:
        x0 = w, xx = -1, xy = 0, y0 = 0, yx = 0, yy = 1;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED_90:
        x0 = 0, xx = 0, xy = 1, y0 = 0, yx = 1, yy = 0;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED_180:
        x0 = 0, xx = 1, xy = 0, y0 = h, yx = 0, yy = -1;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED_270:
        x0 = w, xx = 0, xy = -1, y0 = h, yx = -1, yy = 0;
        break;
    default:
        break;
    }
    // A copy stored bottom up is read from its last row up.
    const ptrdiff_t rowStep = yInverted ? -static_cast<ptrdiff_t>(stride) : stride;
    const ptrdiff_t firstRow = yInverted ? static_cast<ptrdiff_t>(stride) * h : 0;
    const ptrdiff_t stepX = xx * 4 + yx * rowStep; // along an upright row
    const ptrdiff_t stepY = xy * 4 + yy * rowStep; // down to the next upright row
    const ptrdiff_t start = firstRow + x0 * 4 + y0 * rowStep;

    const bool turned = (transform & 1) != 0;
    Bitmap out(turned ? height : width, turned ? width : height, 24);
    // Each channel's values brought to 8 bits once, not per pixel.
    const uint32_t mask = (1u << channels.bits) - 1;
    uint8_t eight[1u << 10];
    for (uint32_t value = 0; value <= mask; ++value)
        eight[value] = static_cast<uint8_t>((value * 255 + mask / 2) / mask);
    const auto eightBits = [&](uint32_t word, int shift) { return eight[(word >> shift) & mask]; };
    for (int uy = 0; uy < out.height; ++uy) {
        const ptrdiff_t rowStart = start + uy * stepY;
        uint8_t* to = out.row(uy);
        for (int ux = 0; ux < out.width; ++ux, to += 3) {
            const uint8_t* in = pixels + rowStart + ux * stepX;
            // wl_shm's formats are little-endian words, whatever the machine's order.
            const uint32_t word =
                in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
            to[0] = eightBits(word, channels.blueShift);
            to[1] = eightBits(word, channels.greenShift);
            to[2] = eightBits(word, channels.redShift);
        }
    }
    return out;
}
