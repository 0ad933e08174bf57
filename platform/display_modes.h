// The display modes of the primary output and switching between them.
#pragma once

#include "platform/display_mode.h"

#include <cstdint>

// A mode as the system enumerates it: the four numbers plus the system's own identity of the
// mode, so that a switch sets exactly the enumerated mode.
struct SystemDisplayMode {
    DisplayMode mode;
    uint64_t id = 0;
};

// Mode number index of the primary display; false when there are no more (or no display).
bool enumDisplaySettings(int index, SystemDisplayMode& mode);

// Switches to mode for a full-screen run; 0 on success, like DISP_CHANGE_SUCCESSFUL.
int changeDisplaySettings(const SystemDisplayMode& mode);

// Returns the display to the mode it had before the first change; harmless when none was made.
void restoreDisplaySettings();

// Called first thing in main: when the program was started as its own mode guardian (the
// process that gives the mode back if the program dies without doing so), runs it, stores its
// exit status and returns true.
bool runDisplayModeGuardian(int argc, char** argv, int& status);
