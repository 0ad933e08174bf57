// Host mode: a window that a saver host (XScreenSaver) hands over to draw in. The run makes its
// GL view on it, follows its size, and ends when the host destroys it or ends the process. The
// window system opens it (WindowSystem::openHostWindow, platform/window_system.h).
#pragma once

#include "platform/bitmap.h"
#include "platform/form_window.h"

#include <cstdint>
#include <functional>
#include <string>

// What the host's user lets image savers show: XScreenSaver's image settings.
struct HostImageSettings {
    bool grabDesktopImages = false;  // a picture of the screen
    bool chooseRandomImages = false; // a picture from imageDirectory
    std::string imageDirectory;      // with "~/" spelled out; may also be a feed's address
    // Why the user's settings could not be read, when they could not; both choices are then off.
    std::string problem;
};

class HostWindow : public FormWindow {
public:
    // Called once, when the window is destroyed: nothing is left to draw in.
    virtual void setGoneHandler(std::function<void()> handler) = 0;
    // The picture of the screen the host took before it covered it, when it offers one; false
    // when it offers none (then the caller captures the screen itself).
    virtual bool hostScreenshot(Bitmap& picture) = 0;
    // The host user's image settings, read afresh.
    virtual HostImageSettings imageSettings() = 0;
};

// A host ends its savers with a termination signal and they hold nothing to give back (no
// display mode, nothing stored): from now on such a signal ends the process at once.
void endAtOnceOnTermination();
