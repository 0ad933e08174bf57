#include "shell/desktop_capture.h"

Bitmap scaleDesktop(const Bitmap& screen) {
    Bitmap desktop(desktopBitmapSize, desktopBitmapSize, 24);
    if (screen.width > 0 && screen.height > 0) {
        desktop.stretchDraw(screen, 0, 0, desktopBitmapSize, desktopPictureHeight);
    }
    return desktop;
}
