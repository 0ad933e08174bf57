// Which of the system's display modes the settings offer, and how the list shows them.
#pragma once

#include "platform/display_mode.h"

#include <string>

// The table behind the list holds at most this many modes; enumeration stops there so that
// list entry k + 1 always belongs to table entry k.
constexpr int maxDisplayModes = 500;

// More than 8 bits per pixel and 601 to 1600 pixels across; the height is not looked at.
bool isOfferedDisplayMode(const DisplayMode& mode);

// "1024x768x32  60Hz", or "1024x768x32" when the system reports no refresh rate.
std::string displayModeText(const DisplayMode& mode);
