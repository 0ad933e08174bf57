#include "platform/dbus/desktop_pictures.h"

#include "platform/dbus/mutter_screen_cast.h"
#include "platform/dbus/portal_screenshot.h"
#include "platform/exception.h"
#include "platform/startup_trace.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The picture's edge nearest to a layout coordinate, scaled to the picture's size.
int scaled(int logical, int layoutSize, int pictureSize) {
    return static_cast<int>(
        std::lround(static_cast<double>(logical) * pictureSize / layoutSize));
}

} // namespace

Bitmap monitorPartOf(const Bitmap& desktop, const DesktopMonitor& monitor) {
    const int64_t right = int64_t{monitor.x} + monitor.width;
    const int64_t bottom = int64_t{monitor.y} + monitor.height;
    if (monitor.width <= 0 || monitor.height <= 0 || monitor.layoutWidth <= 0 ||
        monitor.layoutHeight <= 0 || desktop.width <= 0 || desktop.height <= 0 ||
        monitor.x < monitor.layoutX || monitor.y < monitor.layoutY ||
        right > int64_t{monitor.layoutX} + monitor.layoutWidth ||
        bottom > int64_t{monitor.layoutY} + monitor.layoutHeight)
        throw Exception("the monitor " + monitor.connector + " lies outside the desktop's layout");
    // At least one pixel, inside the picture, however small the monitor is against it.
    const int left = std::min(
        desktop.width - 1, scaled(monitor.x - monitor.layoutX, monitor.layoutWidth, desktop.width));
    const int top = std::min(desktop.height - 1, scaled(monitor.y - monitor.layoutY,
                                                        monitor.layoutHeight, desktop.height));
    const int partWidth = std::max(
        1, scaled(monitor.x - monitor.layoutX + monitor.width, monitor.layoutWidth,
                  desktop.width) - left);
    const int partHeight = std::max(
        1, scaled(monitor.y - monitor.layoutY + monitor.height, monitor.layoutHeight,
                  desktop.height) - top);
    const int width = monitor.pixelWidth > 0 ? monitor.pixelWidth : partWidth;
    const int height = monitor.pixelHeight > 0 ? monitor.pixelHeight : partHeight;

    Bitmap part(partWidth, partHeight, desktop.bitsPerPixel);
    for (int y = 0; y < partHeight; ++y) {
        std::memcpy(part.row(y), desktop.row(top + y) + size_t(left) * desktop.bytesPerPixel(),
                    part.rowBytes());
    }
    if (part.width != width || part.height != height) {
        Bitmap sized(width, height, desktop.bitsPerPixel);
        sized.stretchDraw(part, 0, 0, width, height);
        part = std::move(sized);
    }
    part.setPixelFormat(24);
    return part;
}

bool captureDesktopMonitor(const DesktopMonitor& monitor, Bitmap& picture, std::string& why) {
    std::string screenCastWhy;
    if (captureScreenCast(monitor.connector, picture, screenCastWhy)) {
        traceStartup(("picture of " + monitor.connector + " from GNOME's screen cast").c_str());
        return true;
    }
    std::string portalWhy;
    Bitmap desktop;
    if (capturePortalScreenshot(desktop, portalWhy)) {
        try {
            picture = monitorPartOf(desktop, monitor);
            traceStartup(
                ("picture of " + monitor.connector + " from the desktop portal's screenshot")
                    .c_str());
            return true;
        } catch (const Exception& e) {
            portalWhy = e.message;
        }
    }
    why = "GNOME's screen cast: " + screenCastWhy + "; the desktop portal's screenshot: " +
          portalWhy;
    return false;
}
