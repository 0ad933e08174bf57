// The process's one X connection and its one error trap. Every X user of the back end goes
// through them: the toolkit, GLX, the mode switch, the capture and the preview's painting.
#pragma once

#include <X11/Xlib.h>

#include <string>

// The connection to $DISPLAY, opened on first use and kept until the process ends: a mode set
// through RandR outlives the client that set it, so the connection that gives it back must
// still be there at teardown. nullptr when the display cannot be opened; not tried again.
Display* x11Display();

// Makes the reporting handler the process's X error handler: an error outside a trap is written
// once to standard error in X's own words, and the program goes on. (Xlib's default handler
// ends the process, before the teardown could give the display mode back.) x11Display() calls
// it; so does anything that may have replaced the handler.
void installX11ErrorHandler();

// X's description of an error: its text, the failed request and the resource, as in
// "BadWindow (invalid Window parameter) in X_GetWindowAttributes (request 3.0, resource 0x...)".
// Local: it makes no request, so an error handler may call it.
std::string describeX11Error(Display* display, const XErrorEvent& error);

// Catches the errors of the requests made on the display while it lives, so that the caller
// can take them as results rather than reports. Traps nest; the innermost one catches.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits until the server has answered every request so far; true when any of them failed.
    bool failed();
    // Whether an error came back already, without waiting: enough after a request that waits
    // for its reply, because the server answers in order.
    bool caught() const { return errors != 0; }

private:
    friend int handleX11Error(Display*, XErrorEvent*);

    Display* display;
    X11ErrorTrap* outer;
    XErrorHandler previous;
    int errors = 0;
};
