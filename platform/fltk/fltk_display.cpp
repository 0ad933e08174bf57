#include "platform/fltk/fltk_display.h"

#include "platform/x11/x11_connection.h"

#include <FL/Fl.H>
#include <FL/x.H>

bool openFltkDisplay() {
    if (fl_display != nullptr) {
        return true;
    }
    Display* display = x11Display();
    if (display == nullptr) {
        return false;
    }
    fl_open_display(display);
    return true;
}
