// Test GL context: an X11 window and a GLX context on $DISPLAY, for the gl tests and the
// benchmarks.
#include "tests/support/gl_context.h"

#include "platform/x11/glx_swap_interval.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <GL/glxext.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <stdexcept>

struct TestGlContext::Native {
    Display* display = nullptr;
    Colormap colormap = 0;
    Window window = 0;
    GLXContext context = nullptr;

    ~Native() {
        if (context) {
            glXMakeCurrent(display, None, nullptr);
            glXDestroyContext(display, context);
        }
        if (window)
            XDestroyWindow(display, window);
        if (colormap)
            XFreeColormap(display, colormap);
        if (display)
            XCloseDisplay(display);
    }
};

namespace {

// A window is only drawn to once the server has mapped it; until then the pixels belong to
// nobody and a read-back is undefined.
void waitForMap(Display* display, Window window) {
    XEvent event;
    do {
        XWindowEvent(display, window, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
}

// Frames as fast as the renderer draws them, also where the driver syncs to the display by
// default: the benchmarks measure the drawing, not the display's refresh.
void askForUnpacedFrames(Display* display, Window window) {
    setGlxSwapInterval(display, window, 0);
}

} // namespace

TestGlContext::TestGlContext(int width, int height)
    : native_(std::make_unique<Native>()), width_(width), height_(height) {
    if (width <= 0 || height <= 0)
        throw std::runtime_error("TestGlContext: size must be positive");
    Native& n = *native_;
    n.display = XOpenDisplay(nullptr);
    if (!n.display)
        throw std::runtime_error("TestGlContext: cannot open the display in $DISPLAY");
    int screen = DefaultScreen(n.display);
    int attributes[] = {
        GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
        8,        GLX_DEPTH_SIZE,   16,           None};
    XVisualInfo* visual = glXChooseVisual(n.display, screen, attributes);
    if (!visual)
        throw std::runtime_error("TestGlContext: no double-buffered RGBA visual with depth");
    Window root = RootWindow(n.display, screen);
    n.colormap = XCreateColormap(n.display, root, visual->visual, AllocNone);
    XSetWindowAttributes set{};
    set.colormap = n.colormap;
    set.border_pixel = 0;
    set.event_mask = StructureNotifyMask;
    // No window manager may move or decorate it: the whole window must stay on the screen.
    set.override_redirect = True;
    n.window =
        XCreateWindow(n.display, root, 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, visual->depth, InputOutput, visual->visual,
                      CWColormap | CWBorderPixel | CWEventMask | CWOverrideRedirect, &set);
    n.context = glXCreateContext(n.display, visual, nullptr, True);
    XFree(visual);
    if (!n.context)
        throw std::runtime_error("TestGlContext: glXCreateContext failed");
    XMapRaised(n.display, n.window);
    waitForMap(n.display, n.window);
    makeCurrent();
    askForUnpacedFrames(n.display, n.window);
    glViewport(0, 0, width, height);
}

TestGlContext::~TestGlContext() = default;

void TestGlContext::makeCurrent() {
    if (!glXMakeCurrent(native_->display, native_->window, native_->context))
        throw std::runtime_error("TestGlContext: glXMakeCurrent failed");
}

void TestGlContext::swap() {
    glXSwapBuffers(native_->display, native_->window);
    // Software renderers copy the picture to the window through the X connection; wait for it
    // so that a read of the front buffer sees it.
    XSync(native_->display, False);
}

namespace {

// The channel's value in 0..255 from a pixel and the visual's mask for that channel.
uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    unsigned long maximum = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / maximum);
}

} // namespace

std::vector<uint8_t> TestGlContext::readPixels(Buffer buffer) const {
    std::vector<uint8_t> rgb(static_cast<size_t>(width_) * height_ * 3);
    glFinish();
    if (buffer == Buffer::Back) {
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
    // Software renderers keep no front buffer of their own after a swap: the shown picture
    // lives in the window, so read it from there.
    XImage* image =
        XGetImage(native_->display, native_->window, 0, 0, static_cast<unsigned>(width_),
                  static_cast<unsigned>(height_), AllPlanes, ZPixmap);
    if (!image)
        throw std::runtime_error("TestGlContext: cannot read the window");
    uint8_t* out = rgb.data();
    for (int y = height_ - 1; y >= 0; --y) {
        for (int x = 0; x < width_; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            *out++ = channel(pixel, image->red_mask);
            *out++ = channel(pixel, image->green_mask);
            *out++ = channel(pixel, image->blue_mask);
        }
    }
    XDestroyImage(image);
    return rgb;
}

RgbImage readImage(const TestGlContext& context, TestGlContext::Buffer buffer) {
    return {context.width(), context.height(), context.readPixels(buffer)};
}

void writePpm(const std::string& path, const RgbImage& image) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw std::runtime_error("writePpm: cannot open " + path);
    std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height);
    bool ok = true;
    for (int y = image.height - 1; y >= 0 && ok; --y)
        ok = std::fwrite(image.at(0, y), 3, static_cast<size_t>(image.width), file) ==
             static_cast<size_t>(image.width);
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        throw std::runtime_error("writePpm: cannot write " + path);
}
