// Monitors on XRandR 1.5 (x11_monitors.h): each active monitor with its name, place and size;
// the run of this process remembers its monitor by name and asks the server again for its
// geometry, which a display-mode switch changes.
#include "platform/x11/x11_monitors.h"

#include "platform/exception.h"
#include "platform/x11/x11_connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace {

bool monitorRun = false;
std::string runMonitorId;
bool runMonitorPrimary = false;

bool hasMonitors(Display* display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return XRRQueryExtension(display, &eventBase, &errorBase) &&
           XRRQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 5));
}

std::string atomName(Display* display, Atom atom) {
    X11ErrorTrap trap(display); // a name that has gone is no reason to stop
    char* text = atom != None ? XGetAtomName(display, atom) : nullptr;
    std::string name = text != nullptr ? text : "";
    if (text != nullptr)
        XFree(text);
    return name;
}

} // namespace

std::vector<Monitor> x11Monitors() {
    std::vector<Monitor> monitors;
    Display* display = x11Display();
    if (display == nullptr)
        return monitors;
    const Window root = DefaultRootWindow(display);
    if (!hasMonitors(display)) {
        Monitor whole;
        whole.id = whole.name = "screen";
        whole.width = DisplayWidth(display, DefaultScreen(display));
        whole.height = DisplayHeight(display, DefaultScreen(display));
        whole.primary = true;
        monitors.push_back(whole);
        return monitors;
    }
    const RROutput modeOutput = x11ModeOutput();
    int count = 0;
    XRRMonitorInfo* list = XRRGetMonitors(display, root, True, &count);
    for (int i = 0; list != nullptr && i < count; ++i) {
        const XRRMonitorInfo& info = list[i];
        if (info.width <= 0 || info.height <= 0)
            continue;
        Monitor monitor;
        monitor.name = atomName(display, info.name);
        monitor.id = monitor.name;
        monitor.x = info.x;
        monitor.y = info.y;
        monitor.width = info.width;
        monitor.height = info.height;
        monitor.primary = std::find(info.outputs, info.outputs + info.noutput, modeOutput) !=
                          info.outputs + info.noutput;
        if (!monitor.name.empty())
            monitors.push_back(monitor);
    }
    if (list != nullptr)
        XRRFreeMonitors(list);
    // Without the mode output among them (it is dark), the server's own primary stands in.
    if (std::none_of(monitors.begin(), monitors.end(),
                     [](const Monitor& m) { return m.primary; }) &&
        !monitors.empty())
        monitors.front().primary = true;
    return monitors;
}

void selectX11RunMonitor(const std::string& id) {
    monitorRun = true;
    runMonitorId = id;
    for (const Monitor& monitor : x11Monitors())
        if (monitor.id == id) {
            runMonitorPrimary = monitor.primary;
            return;
        }
    throw Exception("There is no monitor " + id + " on the X display");
}

bool x11IsMonitorRun() {
    return monitorRun;
}

bool x11RunMonitorIsPrimary() {
    return runMonitorPrimary;
}

bool x11RunMonitor(Monitor& found) {
    if (!monitorRun)
        return false;
    for (const Monitor& monitor : x11Monitors())
        if (monitor.id == runMonitorId) {
            found = monitor;
            return true;
        }
    return false;
}
