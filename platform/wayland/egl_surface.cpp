// EglSurface: the best EGL configuration for the descriptor among the plain opaque ones (a
// Wayland compositor blends a buffer with alpha over what lies below, and the view clears to
// alpha 0; a compositor may show a 10-bit buffer as black),
// a desktop OpenGL context with no version asked, so it is a compatibility one, and a
// wl_egl_window that follows the drawing size.
#include "platform/wayland/egl_surface.h"

#include "platform/exception.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <wayland-egl.h>

#include <vector>

struct EglSurface::Egl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
    wl_egl_window* window = nullptr;

    void release() {
        if (display == EGL_NO_DISPLAY)
            return;
        if (eglGetCurrentContext() == context)
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface != EGL_NO_SURFACE)
            eglDestroySurface(display, surface);
        if (window != nullptr)
            wl_egl_window_destroy(window);
        if (context != EGL_NO_CONTEXT)
            eglDestroyContext(display, context);
        // The EGL display is the process's, shared with any later surface: it stays.
        surface = EGL_NO_SURFACE;
        window = nullptr;
        context = EGL_NO_CONTEXT;
    }
};

namespace {

int attribute(EGLDisplay display, EGLConfig config, EGLint name) {
    EGLint value = 0;
    return eglGetConfigAttrib(display, config, name, &value) ? value : 0;
}

PixelFormatCandidate describe(EGLDisplay display, EGLConfig config) {
    PixelFormatCandidate c;
    c.usableOnWindow = (attribute(display, config, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) &&
                       (attribute(display, config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) &&
                       attribute(display, config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER;
    c.doubleBuffer = true; // a window surface always draws into a back buffer
    c.colorBits =
        attribute(display, config, EGL_RED_SIZE) + attribute(display, config, EGL_GREEN_SIZE) +
        attribute(display, config, EGL_BLUE_SIZE) + attribute(display, config, EGL_ALPHA_SIZE);
    c.depthBits = attribute(display, config, EGL_DEPTH_SIZE);
    c.stencilBits = attribute(display, config, EGL_STENCIL_SIZE);
    c.samples = attribute(display, config, EGL_SAMPLES);
    c.slow = attribute(display, config, EGL_CONFIG_CAVEAT) == EGL_SLOW_CONFIG;
    return c;
}

} // namespace

EglSurface::EglSurface(wl_display* display, wl_surface* surface, int width, int height,
                       const PixelFormatDescriptor& descriptor, std::function<void()> beforeSwap)
    : beforeSwap(std::move(beforeSwap)) {
    egl = new Egl;
    try {
        // Named as a Wayland display: a guess from the pointer alone could take it for another.
        egl->display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr);
        if (egl->display == EGL_NO_DISPLAY || !eglInitialize(egl->display, nullptr, nullptr) ||
            !eglBindAPI(EGL_OPENGL_API))
            throw Exception("SetPixelFormat failed");

        EGLint count = 0;
        eglGetConfigs(egl->display, nullptr, 0, &count);
        std::vector<EGLConfig> all(static_cast<size_t>(count > 0 ? count : 0));
        eglGetConfigs(egl->display, all.data(), count, &count);
        all.resize(static_cast<size_t>(count > 0 ? count : 0));
        // First the plain opaque formats every compositor reads (8 bits a channel, no alpha:
        // XRGB8888), then any opaque one, then any at all.
        auto plain = [&](EGLConfig c) {
            return attribute(egl->display, c, EGL_ALPHA_SIZE) == 0 &&
                   attribute(egl->display, c, EGL_RED_SIZE) == 8 &&
                   attribute(egl->display, c, EGL_GREEN_SIZE) == 8 &&
                   attribute(egl->display, c, EGL_BLUE_SIZE) == 8;
        };
        auto opaque = [&](EGLConfig c) { return attribute(egl->display, c, EGL_ALPHA_SIZE) == 0; };
        auto any = [](EGLConfig) { return true; };
        std::vector<EGLConfig> configs;
        std::vector<PixelFormatCandidate> candidates;
        int chosen = -1;
        auto chooseAmong = [&](auto accepted) {
            configs.clear();
            candidates.clear();
            for (EGLConfig config : all) {
                if (accepted(config)) {
                    configs.push_back(config);
                    candidates.push_back(describe(egl->display, config));
                }
            }
            chosen = choosePixelFormat(candidates, descriptor);
            return chosen >= 0;
        };
        if (!chooseAmong(plain) && !chooseAmong(opaque))
            chooseAmong(any);
        if (chosen < 0)
            throw Exception("SetPixelFormat failed");
        const EGLConfig config = configs[static_cast<size_t>(chosen)];
        format = candidates[static_cast<size_t>(chosen)];

        egl->window = wl_egl_window_create(surface, width > 0 ? width : 1, height > 0 ? height : 1);
        if (egl->window == nullptr)
            throw Exception("SetPixelFormat failed");
        egl->surface = eglCreateWindowSurface(
            egl->display, config, reinterpret_cast<EGLNativeWindowType>(egl->window), nullptr);
        if (egl->surface == EGL_NO_SURFACE)
            throw Exception("SetPixelFormat failed");
        egl->context = eglCreateContext(egl->display, config, EGL_NO_CONTEXT, nullptr);
        if (egl->context == EGL_NO_CONTEXT)
            throw Exception("wglCreateContext failed");
        if (!eglMakeCurrent(egl->display, egl->surface, egl->surface, egl->context))
            throw Exception("wglMakeCurrent failed");
        // Frames follow the window's frame callbacks. EGL's own throttle would wait inside
        // eglSwapBuffers for a callback that a switched-off output never sends, deaf to input
        // and signals meanwhile.
        eglSwapInterval(egl->display, 0);
    } catch (...) {
        egl->release();
        delete egl;
        egl = nullptr;
        throw;
    }
}

EglSurface::~EglSurface() {
    if (egl != nullptr) {
        egl->release();
        delete egl;
    }
}

void EglSurface::resize(int width, int height) {
    if (width > 0 && height > 0)
        wl_egl_window_resize(egl->window, width, height, 0, 0);
}

void EglSurface::swapBuffers() {
    if (beforeSwap)
        beforeSwap();
    eglSwapBuffers(egl->display, egl->surface);
}
