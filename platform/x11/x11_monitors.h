// The X11 back end's monitors (x11_monitors.cpp): RandR's list of monitors, as
// `xrandr --listmonitors` shows it, and the one this process's run covers, if it is one
// monitor's run of the full-screen run (the X11 window system's openMonitorRun).
#pragma once

#include "platform/window_system.h"

#include <string>
#include <vector>

// The active monitors, the one holding the display-mode output marked primary; the whole screen
// as one monitor where the server has no RandR 1.5; empty without a display.
std::vector<Monitor> x11Monitors();
// Makes this process the run of the monitor with that id (its name); throws Exception when there
// is no such monitor. The process is a monitor's run from here on, even then.
void selectX11RunMonitor(const std::string& id);
bool x11IsMonitorRun();
// Whether this process is the run of the monitor that was primary when it was selected: the one
// run whose monitor's mode may switch.
bool x11RunMonitorIsPrimary();
// This process's monitor as it is now (a mode switch changes its size); false when the process
// is no monitor's run, or its monitor has gone.
bool x11RunMonitor(Monitor& monitor);

// x11_display_modes.cpp: the output whose modes the display-mode list holds and a switch
// changes (the primary output, else the first connected one); 0 when there is none.
unsigned long x11ModeOutput();
