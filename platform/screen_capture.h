// A picture of the whole desktop as it is on screen now.
#pragma once

#include "platform/bitmap.h"

// The screen's size in pixels.
int screenWidth();
int screenHeight();

// Throws Exception when the screen cannot be read.
Bitmap captureScreen();
