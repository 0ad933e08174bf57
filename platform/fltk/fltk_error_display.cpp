// The error display (showFltkError) on FLTK: a modal alert titled "Kelvara" with FLTK's alert icon
// and an OK button; the text also goes to standard error, and only there without a display.
#include "platform/fltk/fltk_services.h"

#include "platform/error_display.h"
#include "platform/fltk/fltk_display.h"

#include <FL/fl_ask.H>

#include <cstdio>

void showFltkError(const std::string& message) {
    const std::string text = errorDisplayText(message);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    if (!openFltkDisplay()) {
        return;
    }
    fl_message_title("Kelvara");
    fl_close = "OK"; // the alert's one button
    fl_alert("%s", text.c_str());
}
