// GNOME's own count of the user's idle time, org.gnome.Mutter.IdleMonitor on the session bus, on
// its Wayland and X11 sessions alike. Its idle watches count from the last input and wait while
// the session has an idle inhibitor (gnome-session's InhibitedActions: a playing video, a
// presentation), which no Wayland protocol or X extension would tell a program on GNOME.
#pragma once

#include "platform/idle_watch.h"

#include <memory>

// The idle time, told once the user has been idle for seconds; nullptr where GNOME's idle
// monitor is not there (no session bus, or no one owns the name on it). Throws Exception when it
// is there but refuses the watch.
std::unique_ptr<IdleSource> openMutterIdleMonitor(int seconds);
