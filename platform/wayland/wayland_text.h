// The start-up log's texts on a picture without a toolkit: the desktop's sans-serif font
// through fontconfig and FreeType, at the size of the dialog font the log was laid out for.
#pragma once

#include "platform/form_window.h"
#include "platform/wayland/wayland_shm_buffer.h"

#include <vector>

// Fills the picture (XRGB, 4 bytes a pixel) with black and writes the texts on it, each with
// its top-left corner at its position. Without a usable font the picture stays black: the log
// is on standard error as well.
void drawCanvasTexts(WaylandShmBuffer& picture, const std::vector<CanvasText>& texts);
