// The desktop picture a full-screen run starts from.
#pragma once

#include "platform/bitmap.h"

constexpr int desktopBitmapSize = 1024; // square, 24 bits per pixel
constexpr int desktopPictureHeight = 768;

// The screen scaled, whatever its size and aspect, into the upper 1024 x 768 of a
// 1024 x 1024 24-bit picture; the rows below stay black.
Bitmap scaleDesktop(const Bitmap& screen);

// A plain picture in place of the screen where the saver host's user lets savers show neither
// the screen nor pictures of theirs: a soft grey-blue gradient, 1024 x 768.
Bitmap neutralDesktop();
