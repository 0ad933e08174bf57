// The built-in pictures as the bytes of binary PPM files, generated into the build tree.
#pragma once

#include <span>

extern const std::span<const unsigned char> previewLogoPpmBytes;
extern const std::span<const unsigned char> icon32PpmBytes;
extern const std::span<const unsigned char> icon16PpmBytes;
