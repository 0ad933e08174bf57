// A picture in memory: rows of blue, green, red bytes (plus an unused fourth byte at 32 bits
// per pixel), top row first, rows packed without padding.
#pragma once

#include "platform/pixel_buffer.h"

#include <cstddef>
#include <cstdint>

class Bitmap {
public:
    Bitmap() = default;
    // Zero-filled; throws Exception for a size that is not positive or too large to hold.
    Bitmap(int width, int height, int bitsPerPixel);

    int bytesPerPixel() const { return bitsPerPixel / 8; }
    size_t rowBytes() const { return static_cast<size_t>(width) * bytesPerPixel(); }
    uint8_t* row(int y) { return pixels.data() + rowBytes() * y; }
    const uint8_t* row(int y) const { return pixels.data() + rowBytes() * y; }

    // Converts the pixels in place between 24 and 32 bits per pixel.
    void setPixelFormat(int newBitsPerPixel);

    // Draws source scaled into the rectangle [left, right) x [top, bottom) of this bitmap,
    // with an area-weighted filter so that shrinking does not alias; parts of the rectangle
    // outside this bitmap are clipped.
    void stretchDraw(const Bitmap& source, int left, int top, int right, int bottom);

    int width = 0;
    int height = 0;
    int bitsPerPixel = 24; // 24 or 32
    PixelBuffer pixels;
};
