#include "shell/display_mode_list.h"

#include <cstdint>

bool isOfferedDisplayMode(const DisplayMode& mode) {
    return mode.bitsPerPixel > 8 && mode.width > 600 && mode.width < 1601;
}

std::string displayModeText(const DisplayMode& mode) {
    auto number = [](int32_t value) { return std::to_string(static_cast<uint32_t>(value)); };
    std::string text =
        number(mode.width) + "x" + number(mode.height) + "x" + number(mode.bitsPerPixel);
    if (mode.refreshRate != 0) {
        text += "  " + number(mode.refreshRate) + "Hz";
    }
    return text;
}
