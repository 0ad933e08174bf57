// Pictures built into the program: the logo that the preview paints and the form's icon.
#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>

// The 140 x 70 preview logo, 24 bits per pixel.
Bitmap previewLogoBitmap();
// The form's icon at 32 x 32 or 16 x 16, 24 bits per pixel; throws Exception for other sizes.
Bitmap iconBitmap(int size);

// A binary PPM (P6, maximum value 255) as a 24-bit bitmap; throws Exception when the bytes are
// not one.
Bitmap bitmapFromPpm(std::span<const uint8_t> ppm);
