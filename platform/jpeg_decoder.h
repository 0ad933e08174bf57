// JPEG streams into 24-bit pictures, through libjpeg with an error manager that turns its
// failures into exceptions instead of ending the process.
#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>
#include <string>

// Decodes one complete JPEG stream into a 24-bit bitmap (blue, green, red, top row first);
// grayscale streams give blue = green = red. At full size, unless atLeastWidth x atLeastHeight is
// given: then a larger picture comes out shrunk by 2, 4 or 8 as far as it stays at least that
// large, which libjpeg does for a fraction of the time and memory of the full size. Throws
// Exception "JPEG error #<code>" for a stream libjpeg rejects or one that ends early, and a
// plain message naming `what` for a result of more than maxPixels pixels, a stream whose own
// size is beyond what it is worth decoding (250 million pixels; 50 million for a progressive or
// other multi-scan stream, which holds the whole picture's coefficients while it decodes), or a
// stream with an absurd number of progressive scans. The size checks come before decoding.
Bitmap decodeJpeg(std::span<const uint8_t> stream, int64_t maxPixels, const std::string& what,
                  int atLeastWidth = 0, int atLeastHeight = 0);
