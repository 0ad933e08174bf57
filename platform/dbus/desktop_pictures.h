// The picture of one monitor on desktops whose compositor lets no Wayland client copy the
// screen: GNOME's screen cast first, else the desktop portal's screenshot cropped to the
// monitor.
#pragma once

#include "platform/bitmap.h"

#include <string>

// A monitor and the layout it is part of. Positions and sizes are in the layout's logical
// units (the compositor's coordinates, as xdg-output reports them); the pixel size is the
// monitor's own, which differs from its logical size where the monitor is scaled.
struct DesktopMonitor {
    std::string connector; // the compositor's name of the monitor: "DP-1", "Meta-0"
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int pixelWidth = 0;
    int pixelHeight = 0;
    // The bounding box of all monitors.
    int layoutX = 0;
    int layoutY = 0;
    int layoutWidth = 0;
    int layoutHeight = 0;
};

// The monitor as it shows now, 24 bits per pixel, at its size in pixels. False, with why saying
// why each way failed, when none gave a picture; the caller then shows its neutral picture.
// The start-up trace (KELVARA_TRACE_STARTUP) names the way that gave it.
bool captureDesktopMonitor(const DesktopMonitor& monitor, Bitmap& picture, std::string& why);

// The monitor's part of a picture of the whole layout, at the monitor's size in pixels. The
// picture may have another size than the layout (a scaled desktop): the part is scaled to
// match. Throws Exception when the monitor lies outside the layout or its sizes are not
// positive.
Bitmap monitorPartOf(const Bitmap& desktop, const DesktopMonitor& monitor);
