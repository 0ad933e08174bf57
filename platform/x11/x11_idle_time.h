// The X server's own count of the user's idle time (the MIT-SCREEN-SAVER extension), for the idle
// watcher on X11 where no saver host runs. The server counts from the last input of any device,
// XTest's included, and starts again at XResetScreenSaver, which is how X11 programs hold a saver
// off (xdg-screensaver, video players).
#pragma once

#include "platform/idle_watch.h"

#include <memory>

// Throws Exception where XScreenSaver runs on the display (its window carries
// _SCREENSAVER_VERSION): it starts its savers itself, Kelvara among them once it is in its list.
void refuseUnderXScreenSaver();

// The idle time, told once the user has been idle for seconds. Throws Exception without a
// display or where the server lacks the extension.
std::unique_ptr<IdleSource> openX11IdleTime(int seconds);
