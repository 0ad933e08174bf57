#include "platform/x11/x11_idle_time.h"

#include "platform/exception.h"
#include "platform/x11/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <string>

namespace {

// No event tells of the idle time: it is asked for when it may have reached the mark, and while
// past it, this often, to see input start a new stretch. Input shows as an idle time below the
// last one, which holds while this is shorter than the shortest mark (a second).
constexpr int inputLookMs = 500;

Display* openDisplay() {
    Display* display = x11Display();
    if (display == nullptr)
        throw Exception("Cannot open the X display: no idle time to watch");
    return display;
}

bool carriesProperty(Display* display, Window window, Atom property) {
    X11ErrorTrap trap(display); // a window may go while it is looked at
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType,
                                          &type, &format, &items, &after, &data);
    if (data != nullptr)
        XFree(data);
    return status == Success && !trap.caught() && type != None;
}

class X11IdleTime final : public IdleSource {
public:
    X11IdleTime(Display* display, int seconds)
        : display(display), markMs(static_cast<unsigned long>(seconds) * 1000),
          info(XScreenSaverAllocInfo()) {
        if (info == nullptr)
            throw Exception("Out of memory for the X server's idle time");
    }
    ~X11IdleTime() override { XFree(info); }
    X11IdleTime(const X11IdleTime&) = delete;
    X11IdleTime& operator=(const X11IdleTime&) = delete;

    void prepareWait(std::vector<int>&, int& timeoutMs) override {
        int wait = inputLookMs;
        if (!told) // the mark is at most a day away, which an int holds in milliseconds
            wait = static_cast<int>(markMs > lastIdleMs ? markMs - lastIdleMs : 0);
        if (idle)
            wait = 0;
        if (timeoutMs < 0 || wait < timeoutMs)
            timeoutMs = wait;
    }

    void update() override {
        if (!XScreenSaverQueryInfo(display, DefaultRootWindow(display), info))
            throw Exception("The X server no longer tells the idle time");
        const unsigned long idleMs = info->idle;
        if (idleMs < lastIdleMs)
            told = false; // input came: a new stretch
        lastIdleMs = idleMs;
        if (!told && idleMs >= markMs) {
            told = true;
            idle = true;
        }
    }

    std::string description() const override {
        return "the X server (MIT-SCREEN-SAVER), whose count XResetScreenSaver starts again";
    }

private:
    Display* display;
    unsigned long markMs;
    XScreenSaverInfo* info;
    unsigned long lastIdleMs = 0;
    bool told = false; // this stretch of idle time was told already
};

} // namespace

void refuseUnderXScreenSaver() {
    Display* display = openDisplay();
    // Only_if_exists: where no XScreenSaver ever ran, the atom has no name yet.
    const Atom version = XInternAtom(display, "_SCREENSAVER_VERSION", True);
    if (version == None)
        return;
    const Window root = DefaultRootWindow(display);
    bool found = carriesProperty(display, root, version);
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!found && XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i)
            found = carriesProperty(display, children[i], version);
    }
    if (children != nullptr)
        XFree(children);
    if (found)
        throw Exception("XScreenSaver runs on this display and starts its savers itself: add "
                        "Kelvara to its list instead (the line \"GL: kelvara --root\" in the "
                        "programs of ~/.xscreensaver; see \"man 6 kelvara\")");
}

std::unique_ptr<IdleSource> openX11IdleTime(int seconds) {
    Display* display = openDisplay();
    int eventBase = 0, errorBase = 0;
    if (!XScreenSaverQueryExtension(display, &eventBase, &errorBase))
        throw Exception("This X server has no MIT-SCREEN-SAVER extension, so no idle time to "
                        "watch: start the run with xss-lock or xautolock instead");
    auto source = std::make_unique<X11IdleTime>(display, seconds);
    source->update(); // a user idle for long already is told at once
    return source;
}
