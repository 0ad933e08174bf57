// Host windows (openX11HostWindow) on Xlib: a window of the saver host, watched for its size and
// its end; or, for the root window, a window of our own that stands in for it.
#include "platform/host_window.h"

#include "platform/exception.h"
#include "platform/x11/x11_capture.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_host_window.h"
#include "platform/x11/x11_image_settings.h"
#include "platform/x11/x11_services.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string hexId(uintptr_t window) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
    return text;
}

class X11HostWindow;
std::vector<X11HostWindow*> openWindows;

class X11HostWindow : public HostWindow {
public:
    explicit X11HostWindow(uintptr_t id) {
        display = x11Display();
        if (!display) {
            const char* name = std::getenv("DISPLAY");
            throw Exception(std::string("Cannot open the X display \"") + (name ? name : "") +
                            "\"");
        }
        XWindowAttributes attributes{};
        {
            X11ErrorTrap trap(display);
            watched = id != 0 ? static_cast<Window>(id) : DefaultRootWindow(display);
            const Status found = XGetWindowAttributes(display, watched, &attributes);
            if (trap.failed() || !found)
                throw Exception("There is no X window " + hexId(id) + " on this display");
            // Our own mask on the host's window, kept beside the host's, given back at the end.
            ownMask = attributes.your_event_mask;
            XSelectInput(display, watched, ownMask | StructureNotifyMask);
            if (trap.failed())
                throw Exception("X window " + hexId(id) + " went away");
        }
        width_ = attributes.width;
        height_ = attributes.height;
        if (id == 0)
            makeStandIn();
        openWindows.push_back(this);
    }

    ~X11HostWindow() override {
        openWindows.erase(std::remove(openWindows.begin(), openWindows.end(), this),
                          openWindows.end());
        X11ErrorTrap trap(display); // the host's window may be gone
        if (standIn != None)
            XDestroyWindow(display, standIn);
        if (!gone)
            XSelectInput(display, watched, ownMask);
        XFlush(display);
    }

    X11HostWindow(const X11HostWindow&) = delete;
    X11HostWindow& operator=(const X11HostWindow&) = delete;

    // --- FormWindow
    NativeWindow nativeWindow() override {
        return NativeWindow{display, static_cast<uintptr_t>(standIn != None ? standIn : watched)};
    }
    int width() const override { return width_; }
    int height() const override { return height_; }
    int clientWidth() const override { return width_; }
    int clientHeight() const override { return height_; }
    void setSize(int, int) override {} // the host decides the size
    void setResizeHandler(std::function<void()> handler) override {
        resizeHandler = std::move(handler);
    }
    void processPendingMessages() override { XFlush(display); }
    void paintTexts(int, int, const std::vector<CanvasText>&) override {} // host mode shows no log

    // --- HostWindow
    void setGoneHandler(std::function<void()> handler) override {
        goneHandler = std::move(handler);
    }

    // XScreenSaver keeps a picture of what each of its windows covered as a pixmap named in the
    // window's _SCREENSAVER_SCREENSHOT property. It is there when the saver starts, whatever the
    // user's grabDesktopImages setting: honouring that is the saver's part (imageSettings).
    // Reading the pixmap beats running XScreenSaver's getimage helper: no second process, and
    // no unmapping of the window, which the helper's manual warns makes it flicker. The pixmap
    // covers that window alone, so on many monitors each saver gets its own monitor's picture.
    bool hostScreenshot(Bitmap& picture) override {
        if (standIn != None)
            return false;
        const Atom name = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
        Pixmap pixmap = None;
        {
            X11ErrorTrap trap(display);
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            const int status = XGetWindowProperty(display, watched, name, 0, 1, False, XA_PIXMAP,
                                                  &type, &format, &count, &after, &data);
            if (status == Success && !trap.failed() && type == XA_PIXMAP && format == 32 &&
                count == 1 && data)
                pixmap = static_cast<Pixmap>(*reinterpret_cast<unsigned long*>(data));
            if (data)
                XFree(data);
        }
        if (pixmap == None)
            return false;
        Window root = None;
        int x = 0, y = 0;
        unsigned w = 0, h = 0, border = 0, depth = 0;
        {
            X11ErrorTrap trap(display);
            const Status got =
                XGetGeometry(display, pixmap, &root, &x, &y, &w, &h, &border, &depth);
            if (trap.failed() || !got || w == 0 || h == 0 ||
                static_cast<int>(depth) != DefaultDepth(display, DefaultScreen(display)))
                return false;
        }
        try {
            picture = readX11Drawable(display, pixmap, static_cast<int>(w), static_cast<int>(h));
        } catch (const Exception&) {
            return false; // the host let it go meanwhile
        }
        return true;
    }

    HostImageSettings imageSettings() override {
        return xscreensaverImageSettings(XResourceManagerString(display), xscreensaverAppDefaults,
                                         std::getenv("HOME"));
    }

    // --- from the event loop
    bool handle(const XEvent& event) {
        if (event.xany.window != watched)
            return false;
        if (event.type == DestroyNotify && event.xdestroywindow.window == watched) {
            gone = true;
            if (goneHandler) {
                auto handler = goneHandler; // it may end this window's life
                handler();
            }
            return true;
        }
        if (event.type == ConfigureNotify && event.xconfigure.window == watched) {
            const bool changed =
                event.xconfigure.width != width_ || event.xconfigure.height != height_;
            width_ = event.xconfigure.width;
            height_ = event.xconfigure.height;
            if (changed) {
                if (standIn != None) {
                    X11ErrorTrap trap(display);
                    XResizeWindow(display, standIn, static_cast<unsigned>(width_),
                                  static_cast<unsigned>(height_));
                }
                if (resizeHandler)
                    resizeHandler();
            }
            return true;
        }
        return false;
    }

private:
    // Drawing into the root window itself would need its visual to suit GL. A window of our own
    // covers it instead, at the bottom of the stacking order, so that other windows stay in
    // front as they do of the desktop's own picture; override-redirect, so that a window manager
    // neither frames it nor moves it.
    void makeStandIn() {
        X11ErrorTrap trap(display);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
        attributes.event_mask = 0;
        standIn = XCreateWindow(display, watched, 0, 0, static_cast<unsigned>(width_),
                                static_cast<unsigned>(height_), 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask,
                                &attributes);
        XStoreName(display, standIn, "Kelvara");
        XMapWindow(display, standIn);
        XLowerWindow(display, standIn);
        if (trap.failed()) {
            standIn = None;
            throw Exception("Cannot make a window on the root window");
        }
    }

    Display* display = nullptr;
    Window watched = None;
    Window standIn = None;
    long ownMask = 0;
    int width_ = 0;
    int height_ = 0;
    bool gone = false;
    std::function<void()> resizeHandler;
    std::function<void()> goneHandler;
};

} // namespace

std::unique_ptr<HostWindow> openX11HostWindow(uintptr_t window) {
    return std::make_unique<X11HostWindow>(window);
}

void x11HostWindowEvent(const XEvent& event) {
    for (X11HostWindow* window : openWindows) {
        if (window->handle(event))
            return; // a handler may have closed windows: the list is not walked further
    }
}
