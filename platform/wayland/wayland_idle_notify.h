// The compositor's count of the user's idle time through ext-idle-notify-v1 (KWin, sway 1.8 and
// later, Hyprland, labwc, river, niri ...): a notification on the seat that says "idled" after
// the time without input, and "resumed" at the next input. Its version 1 waits while an idle
// inhibitor holds (zwp_idle_inhibit_manager_v1: a playing video, a presentation).
#pragma once

#include "platform/idle_watch.h"

#include <memory>

// The idle time, told once the user has been idle for seconds. Throws Exception where the
// compositor offers no idle notification (or no seat), with what to use there instead.
std::unique_ptr<IdleSource> openWaylandIdleNotification(int seconds);
