// The picture of one output, read from the compositor before the run covers it:
// ext-image-copy-capture-v1 on an output source where the compositor offers it, else
// wlroots' screen copy; and the neutral picture for a compositor that offers neither.
#pragma once

#include "platform/bitmap.h"
#include "platform/wayland/wayland_connection.h"

#include <string>

// The output as it shows now, 24 bits per pixel. False, with the reason in why, when the
// compositor offers no way to read it, refuses, answers with content this cannot read, or does
// not answer in time.
bool captureWaylandOutput(WaylandConnection& connection, WaylandOutput& output, Bitmap& picture,
                          std::string& why);

// A calm built-in picture of that size: soft diagonal bands of blue and grey, so that the
// mosaic's tiles still show their light and movement.
Bitmap neutralDesktopPicture(int width, int height);
