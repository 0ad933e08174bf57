// A screen copy's pixels made into the output's upright picture: the compositor hands over its
// framebuffer, which may be stored bottom up, turned or mirrored (an output's transform: a
// monitor on its side) and at 8 or 10 bits a channel. Plain code, tried without a compositor.
#pragma once

#include "platform/bitmap.h"

#include <cstdint>

// Whether a copy in this wl_shm format can be read: 4 bytes a pixel, 8 or 10 bits a channel.
bool screenCopyFormatReadable(uint32_t format);

// The upright picture, 24 bits a pixel, of a copy of width x height pixels in rows of stride
// bytes, bottom row first when yInverted, to which the compositor applied transform (a
// wl_output transform; an unknown value is taken as none). A transform of 90 or 270 degrees
// swaps width and height.
Bitmap uprightScreenCopy(const uint8_t* pixels, int width, int height, int stride, uint32_t format,
                         bool yInverted, uint32_t transform);
