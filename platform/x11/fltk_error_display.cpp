// The error display (showError) on FLTK: a modal alert titled "Kelvara" with FLTK's alert icon
// and an OK button; the text also goes to standard error, and only there without a display.
#include "platform/error_display.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <cstdio>

namespace {

// FLTK ends the process when it cannot open the display; ask Xlib first.
bool displayAvailable() {
    if (fl_display != nullptr) {
        return true;
    }
    Display* probe = XOpenDisplay(nullptr);
    if (probe == nullptr) {
        return false;
    }
    XCloseDisplay(probe);
    return true;
}

} // namespace

void showError(const std::string& message) {
    const std::string text = errorDisplayText(message);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    if (!displayAvailable()) {
        return;
    }
    fl_message_title("Kelvara");
    fl_close = "OK"; // the alert's one button
    fl_alert("%s", text.c_str());
}
