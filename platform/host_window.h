// Host mode: a window that a saver host (XScreenSaver) hands over to draw in. The run makes its
// GL view on it, follows its size, and ends when the host destroys it or ends the process. The
// window system opens it (WindowSystem::openHostWindow, platform/window_system.h).
#pragma once

#include "platform/bitmap.h"
#include "platform/form_window.h"

#include <cstdint>
#include <functional>

class HostWindow : public FormWindow {
public:
    // Called once, when the window is destroyed: nothing is left to draw in.
    virtual void setGoneHandler(std::function<void()> handler) = 0;
    // The picture of the screen the host took before it covered it, when it offers one; false
    // when it offers none (then the caller captures the screen itself).
    virtual bool hostScreenshot(Bitmap& picture) = 0;
};

// A host ends its savers with a termination signal and they hold nothing to give back (no
// display mode, nothing stored): from now on such a signal ends the process at once.
void endAtOnceOnTermination();
