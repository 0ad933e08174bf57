// The OpenGL surface (GlSurface) on a Wayland surface: EGL with desktop OpenGL in a
// compatibility context, drawn into a wl_egl_window.
#pragma once

#include "platform/gl_surface.h"

#include <functional>

struct wl_display;
struct wl_surface;

class EglSurface : public GlSurface {
public:
    // beforeSwap runs ahead of every presented frame, before the commit that presents it (the
    // window asks for its frame callback there). Throws Exception as GlSurface does.
    EglSurface(wl_display* display, wl_surface* surface, int width, int height,
               const PixelFormatDescriptor& descriptor, std::function<void()> beforeSwap);
    ~EglSurface() override;

    void resize(int width, int height) override;
    void swapBuffers() override;
    // Nothing covers the surface: the window paints onto it itself.
    void hide() override {}

private:
    struct Egl;
    Egl* egl = nullptr;
    std::function<void()> beforeSwap;
};
