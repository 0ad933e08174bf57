// JPEG streams into 24-bit pictures, through libjpeg with an error manager that turns its
// failures into exceptions instead of ending the process.
#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>
#include <string>

// Decodes one complete JPEG stream at full size into a 24-bit bitmap (blue, green, red, top row
// first); grayscale streams give blue = green = red. Throws Exception "JPEG error #<code>" for a
// stream libjpeg rejects or one that ends early, and a plain message naming `what` for a
// picture of more than maxPixels pixels or with an absurd number of progressive scans.
Bitmap decodeJpeg(std::span<const uint8_t> stream, int64_t maxPixels, const std::string& what);
