// Small services of the desktop: painting into another program's window, opening a web address.
#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <string>

// Copies the top-left width x height pixels of picture to (x, y) of the window, over the windows
// it holds inside itself. A window that does not exist (any more) is not an error: nothing is
// painted.
void paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y, int width, int height);

// Opens the address in the user's browser; failures are ignored.
void openUrl(const std::string& url);
