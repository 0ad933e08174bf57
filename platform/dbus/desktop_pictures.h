// The picture of one monitor on desktops whose compositor lets no Wayland client copy the
// screen: KWin's screenshot on KDE Plasma, GNOME's screen cast, else the desktop portal's
// screenshot cropped to the monitor.
#pragma once

#include "platform/bitmap.h"
#include "platform/dbus/desktop_monitor.h"

#include <string>

// The monitor as it shows now, 24 bits per pixel, at its size in pixels. False, with why saying
// why each way failed, when none gave a picture; the caller then shows its neutral picture.
// The start-up trace (KELVARA_TRACE_STARTUP) names the way that gave it. What the caller does
// not know is taken from GNOME's display configuration where it answers: the connector, when
// the given one is none of GNOME's, from the monitor at the given position (a wl_output's
// geometry); the layout, when its width is 0.
bool captureDesktopMonitor(const DesktopMonitor& monitor, Bitmap& picture, std::string& why);

// The monitor's part of a picture of the whole layout, at the monitor's size in pixels. The
// picture may have another size than the layout (a scaled desktop): the part is scaled to
// match. Throws Exception when the monitor lies outside the layout or its sizes are not
// positive.
Bitmap monitorPartOf(const Bitmap& desktop, const DesktopMonitor& monitor);
