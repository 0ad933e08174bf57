// Reading pixels of any drawable of the default screen's depth into a Bitmap, for the screen
// capture and for the pictures a saver host hands over as pixmaps.
#pragma once

#include "platform/bitmap.h"

#include <X11/Xlib.h>

// width x height pixels from (left, top) of the drawable, as 32-bit BGRX. A pixmap has no
// visual of its own: its pixels are read through the default visual's colour masks. Throws
// Exception when the drawable cannot be read.
Bitmap readX11Drawable(Display* display, Drawable drawable, int width, int height, int left = 0,
                       int top = 0);
