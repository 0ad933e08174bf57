// The OpenGL surface (createGlxSurface) on GLX: the best frame-buffer configuration
// for the descriptor, drawn through a child window of that configuration's visual that covers
// the form's client area, a direct context made current on it, one frame per refresh of the
// display where the driver lets a program ask, glXSwapBuffers.
#include "platform/x11/x11_services.h"

#include "platform/exception.h"
#include "platform/x11/glx_swap_interval.h"
#include "platform/x11/x11_connection.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

namespace {

int attribute(Display* display, GLXFBConfig config, int name) {
    int value = 0;
    if (glXGetFBConfigAttrib(display, config, name, &value) != Success)
        return 0;
    return value;
}

// Only configurations the view could use at all: RGBA, on a window, through a true-colour
// visual, with the buffering asked for (any buffering when the system has none of that kind).
// Asking the system to filter first matters: every attribute query searches its whole list.
std::vector<GLXFBConfig> usableConfigs(Display* display, bool doubleBuffer) {
    int wanted[] = {GLX_RENDER_TYPE,
                    GLX_RGBA_BIT,
                    GLX_DRAWABLE_TYPE,
                    GLX_WINDOW_BIT,
                    GLX_X_RENDERABLE,
                    True,
                    GLX_X_VISUAL_TYPE,
                    GLX_TRUE_COLOR,
                    GLX_DOUBLEBUFFER,
                    doubleBuffer,
                    None};
    std::vector<GLXFBConfig> usable;
    for (int attempt = 0; attempt < 2 && usable.empty(); ++attempt) {
        if (attempt == 1)
            wanted[9] = static_cast<int>(GLX_DONT_CARE);
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), wanted, &count);
        if (configs) {
            usable.assign(configs, configs + count);
            XFree(configs);
        }
    }
    return usable;
}

PixelFormatCandidate describe(Display* display, GLXFBConfig config) {
    PixelFormatCandidate c;
    c.usableOnWindow = attribute(display, config, GLX_VISUAL_ID) != 0;
    c.doubleBuffer = attribute(display, config, GLX_DOUBLEBUFFER) != 0;
    c.colorBits =
        attribute(display, config, GLX_RED_SIZE) + attribute(display, config, GLX_GREEN_SIZE) +
        attribute(display, config, GLX_BLUE_SIZE) + attribute(display, config, GLX_ALPHA_SIZE);
    c.depthBits = attribute(display, config, GLX_DEPTH_SIZE);
    c.stencilBits = attribute(display, config, GLX_STENCIL_SIZE);
    c.samples = attribute(display, config, GLX_SAMPLES);
    // Systems offer accumulation in all channels or none.
    c.accumBits = attribute(display, config, GLX_ACCUM_RED_SIZE);
    c.slow = attribute(display, config, GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
    return c;
}

// Asks for one frame per refresh of the display. Every frame moves the effect one step, so its
// pace is the frame rate, and drivers that do not sync by default (NVIDIA's, for one) would
// draw thousands of frames a second. Where the request fails, the driver's default stands.
void askForOneFramePerRefresh(Display* display, GLXDrawable drawable) {
    X11ErrorTrap trap(display);
    setGlxSwapInterval(display, drawable, 1);
    trap.failed();
}

// What the surface holds of X and GLX.
struct Native {
    Display* display = nullptr;
    Window child = None;
    Colormap colormap = None;
    GLXContext context = nullptr;

    // Releases in the reverse order of creation; safe on a half-built surface.
    void release() {
        // The window may be gone already with a parent destroyed first: that is no reason to end
        // the process before the teardown has given the display mode back.
        X11ErrorTrap trap(display);
        if (context) {
            if (glXGetCurrentContext() == context)
                glXMakeCurrent(display, None, nullptr);
            glXDestroyContext(display, context);
            context = nullptr;
        }
        if (child != None) {
            XDestroyWindow(display, child);
            child = None;
        }
        if (colormap != None) {
            XFreeColormap(display, colormap);
            colormap = None;
        }
        XFlush(display);
    }
};

class GlxSurface final : public GlSurface {
public:
    GlxSurface(const NativeWindow& window, int width, int height,
               const PixelFormatDescriptor& descriptor);
    ~GlxSurface() override { native.release(); }
    GlxSurface(const GlxSurface&) = delete;
    GlxSurface& operator=(const GlxSurface&) = delete;

    void resize(int width, int height) override;
    void swapBuffers() override;
    void hide() override;

private:
    Native native;
};

GlxSurface::GlxSurface(const NativeWindow& window, int width, int height,
                       const PixelFormatDescriptor& descriptor) {
    Display* display = static_cast<Display*>(window.display);
    if (!display || window.handle == 0)
        throw Exception("SetPixelFormat failed");
    native.display = display;
    try {
        // The pixel format: a configuration with a visual, then a child window of that visual.
        std::vector<GLXFBConfig> configs = usableConfigs(display, descriptor.doubleBuffer);
        std::vector<PixelFormatCandidate> candidates;
        for (GLXFBConfig config : configs)
            candidates.push_back(describe(display, config));
        int chosen = choosePixelFormat(candidates, descriptor);
        GLXFBConfig config = chosen >= 0 ? configs[static_cast<size_t>(chosen)] : nullptr;
        if (!config)
            throw Exception("SetPixelFormat failed");
        format = candidates[static_cast<size_t>(chosen)];

        XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
        if (!visual)
            throw Exception("SetPixelFormat failed");
        {
            X11ErrorTrap trap(display);
            Window parent = static_cast<Window>(window.handle);
            native.colormap =
                XCreateColormap(display, DefaultRootWindow(display), visual->visual, AllocNone);
            XSetWindowAttributes attributes{};
            attributes.colormap = native.colormap;
            attributes.border_pixel = 0;
            attributes.background_pixmap = None; // no flash of a background between frames
            attributes.event_mask = 0;           // input goes on to the form
            native.child =
                XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width > 0 ? width : 1),
                              static_cast<unsigned>(height > 0 ? height : 1), 0, visual->depth,
                              InputOutput, visual->visual,
                              CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
            XMapWindow(display, native.child);
            bool failed = trap.failed();
            XFree(visual);
            if (failed) {
                // The window was never made, so there is nothing to destroy.
                native.child = None;
                throw Exception("SetPixelFormat failed");
            }
        }

        {
            X11ErrorTrap trap(display);
            native.context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
            if (trap.failed() || !native.context)
                throw Exception("wglCreateContext failed");
        }
        {
            X11ErrorTrap trap(display);
            Bool current = glXMakeCurrent(display, native.child, native.context);
            if (trap.failed() || !current)
                throw Exception("wglMakeCurrent failed");
        }
        askForOneFramePerRefresh(display, native.child);
    } catch (...) {
        native.release();
        throw;
    }
}

void GlxSurface::resize(int width, int height) {
    if (width > 0 && height > 0) {
        XResizeWindow(native.display, native.child, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        XFlush(native.display);
    }
}

void GlxSurface::swapBuffers() {
    glXSwapBuffers(native.display, native.child);
}

void GlxSurface::hide() {
    XUnmapWindow(native.display, native.child);
    // The form's repaint of the uncovered area must come before anything it paints afterwards.
    XSync(native.display, False);
}

} // namespace

std::unique_ptr<GlSurface> createGlxSurface(const NativeWindow& window, int width, int height,
                                            const PixelFormatDescriptor& descriptor) {
    return std::make_unique<GlxSurface>(window, width, height, descriptor);
}
