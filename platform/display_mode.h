// A display mode as the settings store it; a width below 1 means: keep the desktop resolution.
#pragma once

#include <cstdint>

struct DisplayMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    int32_t refreshRate = 0; // Hz; 0 when the system reports none
};
