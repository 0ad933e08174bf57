// PNG pictures through libpng's simplified reader: 24 bits per pixel, transparency onto black.
#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>
#include <string>

// Throws Exception for what is no PNG, a damaged one, or one of more than maxPixels pixels
// (refused before its pixels are read).
Bitmap decodePng(std::span<const uint8_t> bytes, int64_t maxPixels);
Bitmap decodePngFile(const std::string& path, int64_t maxPixels);
