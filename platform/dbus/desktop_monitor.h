// A monitor and the layout it is part of, as the desktop services need them.
#pragma once

#include <string>

// Positions and sizes are in the layout's logical units (the compositor's coordinates, as
// xdg-output reports them); the pixel size is the monitor's own, which differs from its logical
// size where the monitor is scaled.
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
