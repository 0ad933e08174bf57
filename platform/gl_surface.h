// The OpenGL context on a native window: the pixel format asked for, the best-matching format
// the system offers, the context made current, and presenting finished frames. The window
// system makes it (WindowSystem::createGlSurface, platform/window_system.h).
#pragma once

#include "platform/pixel_format.h"

class GlSurface {
public:
    // Makes the context not current and deletes it.
    virtual ~GlSurface() = default;

    // Follows the window's client size.
    virtual void resize(int width, int height) = 0;
    virtual void swapBuffers() = 0;
    // Stops covering the window, so that what the window itself paints is seen.
    virtual void hide() = 0;

    PixelFormatCandidate format; // the format that was set
};
