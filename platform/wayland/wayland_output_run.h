// Between the Wayland window system and the output run of this process (wayland_session.h).
#pragma once

#include "platform/bitmap.h"
#include "platform/display_modes.h"

// Whether WAYLAND_DISPLAY is set and a compositor accepts a connection there.
bool waylandSessionAvailable();

// The output run of this process, while there is one (a run of the supervisor's); else nullptr.
class WaylandOutputRun;
WaylandOutputRun* processOutputRun();
// The size of that run's output in pixels; 0 without one.
int processOutputWidth();
int processOutputHeight();

// The sizes a run on Wayland draws at, scaled by the compositor to each output: the same list
// on every output, so that the stored choice means the same size on all of them.
bool waylandDisplayMode(int index, SystemDisplayMode& mode);
