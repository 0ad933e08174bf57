// The picture of one monitor as the program reads it on a desktop without Wayland screen copy,
// written as a PNG for the tests to compare with the desktop's own screenshot:
//   desktop_picture_probe WAY CONNECTOR X Y W H PIXEL_W PIXEL_H LAYOUT_X LAYOUT_Y LAYOUT_W LAYOUT_H FILE
// WAY is screencast (GNOME's screen cast only), portal (the portal's screenshot, cropped) or
// any (the program's own order). Prints the reason and exits 1 when no picture came.
#include "platform/dbus/desktop_pictures.h"
#include "platform/dbus/mutter_screen_cast.h"
#include "platform/dbus/portal_screenshot.h"
#include "platform/exception.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int number(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < -100000 || value > 100000)
        throw Exception(std::string("not a number: ") + text);
    return static_cast<int>(value);
}

void writePng(const Bitmap& picture, const char* file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_BGR;
    if (!png_image_write_to_file(&image, file, 0, picture.pixels.data(),
                                 static_cast<png_int_32>(picture.rowBytes()), nullptr))
        throw Exception(std::string("cannot write ") + file + ": " + image.message);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 14) {
        std::fprintf(stderr, "usage: desktop_picture_probe screencast|portal|any CONNECTOR X Y W H "
                             "PIXEL_W PIXEL_H LAYOUT_X LAYOUT_Y LAYOUT_W LAYOUT_H FILE\n");
        return 2;
    }
    try {
        const std::string way = argv[1];
        DesktopMonitor monitor;
        monitor.connector = argv[2];
        int* fields[] = {&monitor.x,          &monitor.y,           &monitor.width,
                         &monitor.height,     &monitor.pixelWidth,  &monitor.pixelHeight,
                         &monitor.layoutX,    &monitor.layoutY,     &monitor.layoutWidth,
                         &monitor.layoutHeight};
        for (int i = 0; i < 10; ++i)
            *fields[i] = number(argv[3 + i]);
        Bitmap picture;
        std::string why;
        bool got = false;
        if (way == "screencast") {
            got = captureScreenCast(monitor.connector, picture, why);
        } else if (way == "portal") {
            Bitmap desktop;
            got = capturePortalScreenshot(desktop, why);
            if (got)
                picture = monitorPartOf(desktop, monitor);
        } else if (way == "any") {
            got = captureDesktopMonitor(monitor, picture, why);
        } else {
            throw Exception("no such way: " + way);
        }
        if (!got) {
            std::printf("no picture: %s\n", why.c_str());
            return 1;
        }
        writePng(picture, argv[13]);
        std::printf("picture %dx%d\n", picture.width, picture.height);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "desktop_picture_probe: %s\n", e.what());
        return 1;
    }
    return 0;
}
