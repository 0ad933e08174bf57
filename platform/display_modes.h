// The display modes of the primary output as the system enumerates them; the window system lists
// and switches them (WindowSystem, platform/window_system.h).
#pragma once

#include "platform/display_mode.h"

#include <cstdint>

// A mode as the system enumerates it: the four numbers plus the system's own identity of the
// mode, so that a switch sets exactly the enumerated mode.
struct SystemDisplayMode {
    DisplayMode mode;
    uint64_t id = 0;
};
