#include "shell/desktop_capture.h"

Bitmap scaleDesktop(const Bitmap& screen) {
    Bitmap desktop(desktopBitmapSize, desktopBitmapSize, 24);
    if (screen.width > 0 && screen.height > 0) {
        desktop.stretchDraw(screen, 0, 0, desktopBitmapSize, desktopPictureHeight);
    }
    return desktop;
}

Bitmap neutralDesktop() {
    // Dark at the top left to lighter at the bottom right, so that the tiles' shading shows.
    Bitmap picture(desktopBitmapSize, desktopPictureHeight, 24);
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width; ++x) {
            const int shade = 40 + 70 * (x + y) / (picture.width + picture.height);
            row[3 * x] = static_cast<uint8_t>(shade + 16); // blue
            row[3 * x + 1] = static_cast<uint8_t>(shade + 6);
            row[3 * x + 2] = static_cast<uint8_t>(shade);
        }
    }
    return picture;
}
