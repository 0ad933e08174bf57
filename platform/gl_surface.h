// The OpenGL context on a native window: the pixel format asked for, the best-matching format
// the system offers, the context made current, and presenting finished frames.
#pragma once

#include "platform/form_window.h"
#include "platform/pixel_format.h"

class GlSurface {
public:
    // Sets up a format, creates the context on window's client area of width x height pixels and
    // makes it current. Throws Exception "SetPixelFormat failed", "wglCreateContext failed" or
    // "wglMakeCurrent failed" at the failing step, having released what the earlier steps got.
    GlSurface(const NativeWindow& window, int width, int height,
              const PixelFormatDescriptor& descriptor);
    // Makes the context not current and deletes it.
    virtual ~GlSurface();
    GlSurface(const GlSurface&) = delete;
    GlSurface& operator=(const GlSurface&) = delete;

    // Follows the window's client size.
    virtual void resize(int width, int height);
    virtual void swapBuffers();
    // Stops covering the window, so that what the window itself paints is seen.
    virtual void hide();

    PixelFormatCandidate format; // the format that was set

protected:
    // For a window system whose windows make their own kind of surface
    // (FormWindow::createGlSurface); it overrides all three operations.
    GlSurface() = default;

private:
    struct Native;
    Native* native = nullptr;
};
