// Kelvara on a Wayland desktop. A full-screen run there is a small supervisor that starts one run
// of the program per output, each with the whole sequence (picture, checks, intro, mosaic) of its
// own output on a surface of its own, and ends them together. Where no Wayland compositor
// answers, the program runs on X11 as before; Windows has no Wayland (waylandSessionAvailable()
// is false there).
#pragma once

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/form_view.h"
#include "platform/window_system.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Whether the window system chosen is Wayland's (platform/window_system.h): then a full-screen
// run is the supervisor's below.
bool isWaylandWindowSystem(const WindowSystem& windows);

// The internal switch of one output's run: "--wayland-output <output>" in front of the run's own
// arguments. The supervisor gives it; it is not for people.
inline constexpr const char* waylandOutputSwitch = "--wayland-output";

// The "/s" run on Wayland: starts "<this program> --wayland-output N <runArguments>" for every
// output there is and every output that comes; ends them all when one ends (by input, its stop
// timer or an error), and at once on SIGTERM, SIGINT and SIGHUP; an output going away ends only
// its own run. Returns the exit status.
int runWaylandSupervisor(const std::vector<std::string>& runArguments);

// One output's run: its connection, its message loop and its form, the surface on the output.
class WaylandOutputRun {
public:
    virtual ~WaylandOutputRun() = default;
    virtual Application& application() = 0;
    virtual FormView& form() = 0;
    // The output as it shows now. When the compositor lets no program read it, a neutral
    // built-in picture, and a line on standard error that says why.
    virtual Bitmap captureOutput() = 0;
};

// The run on the output with this registry name; throws Exception when there is no compositor
// or no such output. While it lives, the Wayland window system serves it: its picture, its
// surface's EGL, errors on standard error.
std::unique_ptr<WaylandOutputRun> openWaylandOutputRun(uint32_t output);
