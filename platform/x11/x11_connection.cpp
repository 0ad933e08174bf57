#include "platform/x11/x11_connection.h"

#include <cstdio>
#include <string>

namespace {

X11ErrorTrap* innermostTrap = nullptr;

} // namespace

int handleX11Error(Display* display, XErrorEvent* error) {
    if (innermostTrap != nullptr && innermostTrap->display == display) {
        ++innermostTrap->errors;
        return 0;
    }
    std::fprintf(stderr, "kelvara: X error: %s\n", describeX11Error(display, *error).c_str());
    return 0;
}

Display* x11Display() {
    static Display* const display = [] {
        installX11ErrorHandler();
        return XOpenDisplay(nullptr);
    }();
    return display;
}

void installX11ErrorHandler() {
    XSetErrorHandler(handleX11Error);
}

std::string describeX11Error(Display* display, const XErrorEvent& error) {
    char text[160] = "";
    XGetErrorText(display, error.error_code, text, sizeof text);
    std::string description = text;
    // Core requests have names in Xlib's error database; an extension's (codes from 128) are
    // left as numbers, since finding the extension's name would take a request.
    if (error.request_code < 128) {
        char name[80] = "";
        XGetErrorDatabaseText(display, "XRequest", std::to_string(error.request_code).c_str(), "",
                              name, sizeof name);
        if (name[0] != '\0') {
            description += " in ";
            description += name;
        }
    }
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " (request %d.%d, resource 0x%lx)", error.request_code,
                  error.minor_code, error.resourceid);
    return description + numbers;
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display(display), outer(innermostTrap) {
    // Errors of earlier requests are not this trap's.
    XSync(display, False);
    innermostTrap = this;
    previous = XSetErrorHandler(handleX11Error);
}

X11ErrorTrap::~X11ErrorTrap() {
    XSync(display, False);
    XSetErrorHandler(previous);
    innermostTrap = outer;
}

bool X11ErrorTrap::failed() {
    XSync(display, False);
    return errors != 0;
}
