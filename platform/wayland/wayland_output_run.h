// Between the Wayland window system and the output run of this process: the run of one output,
// started by the full-screen run's supervisor (wayland_supervisor.cpp).
#pragma once

#include "platform/bitmap.h"
#include "platform/display_modes.h"
#include "platform/window_system.h"

#include <cstdint>
#include <memory>

// Whether WAYLAND_DISPLAY is set and a compositor accepts a connection there.
bool waylandSessionAvailable();

// One output's run: its connection, its message loop and its form, the surface on the output.
class WaylandOutputRun : public MonitorRun {
public:
    // The output as it shows now. When the compositor lets no program read it, a neutral
    // built-in picture, and a line on standard error that says why.
    virtual Bitmap captureOutput() = 0;
};

// The run on the output with this registry name; throws Exception when there is no compositor
// or no such output. While it lives, the Wayland window system serves it: its picture, its
// surface's EGL, errors on standard error.
std::unique_ptr<WaylandOutputRun> openWaylandOutputRun(uint32_t output);

// The output run of this process, while there is one; else nullptr.
WaylandOutputRun* processOutputRun();
// The size of that run's output in pixels; 0 without one.
int processOutputWidth();
int processOutputHeight();

// The outputs as monitors: the registry name as the id, the connector's name, the place and
// size the compositor gives them.
std::vector<Monitor> waylandMonitors();
// The full-screen run: a process per output, as long as outputs come and go (always true).
bool runOnEveryWaylandOutput(const std::vector<std::string>& args, int& status);

// The sizes a run on Wayland draws at, scaled by the compositor to each output: the same list
// on every output, so that the stored choice means the same size on all of them.
bool waylandDisplayMode(int index, SystemDisplayMode& mode);
