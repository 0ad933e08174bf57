// GNOME's screen cast service (org.gnome.Mutter.ScreenCast): the picture of one monitor, without
// a prompt, from one frame of a PipeWire stream that records it.
#pragma once

#include "platform/bitmap.h"

#include <string>

// The monitor named by its connector ("DP-1"; GNOME's virtual monitors are "Meta-0" ...) as it
// shows now, without the pointer, 24 bits per pixel, at the monitor's size in pixels. False,
// with the reason in why, when the service is absent or refuses, PipeWire fails, or no frame
// comes in time.
bool captureScreenCast(const std::string& connector, Bitmap& picture, std::string& why);
