// Desktop capture (captureWin32Screen) on Windows: a GDI copy of the screen's device context into
// a 24-bit DIB section: the primary monitor, or the monitor of this process's run. Unlike a
// simulated Print Screen it leaves the clipboard alone and cannot wait for a picture that never
// comes.
#include "platform/win32/win32_services.h"

#include "platform/exception.h"

#include <windows.h>

#include <cstring>

namespace {

// The part of the virtual screen to read: the run's monitor, else the primary monitor, whose
// top-left corner is the origin.
RECT screenArea() {
    if (Monitor monitor; win32RunMonitor(monitor)) {
        return RECT{monitor.x, monitor.y, monitor.x + monitor.width, monitor.y + monitor.height};
    }
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

} // namespace

int win32ScreenWidth() {
    const RECT area = screenArea();
    return area.right - area.left;
}

int win32ScreenHeight() {
    const RECT area = screenArea();
    return area.bottom - area.top;
}

Bitmap captureWin32Screen() {
    const RECT area = screenArea();
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        throw Exception("Cannot read the screen");
    }
    Bitmap picture(width, height, 24);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first, as Bitmap keeps it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    HDC screen = GetDC(nullptr);
    HDC memory = screen ? CreateCompatibleDC(screen) : nullptr;
    void* bits = nullptr;
    HBITMAP section =
        memory ? CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    bool copied = false;
    if (section != nullptr && bits != nullptr) {
        HGDIOBJ old = SelectObject(memory, section);
        copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
        if (copied) {
            // DIB rows are padded to four bytes; the bitmap's rows are packed.
            const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
            for (int y = 0; y < height; ++y) {
                std::memcpy(picture.row(y), static_cast<const uint8_t*>(bits) + stride * y,
                            picture.rowBytes());
            }
        }
    }
    if (section != nullptr) {
        DeleteObject(section);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    if (!copied) {
        throw Exception("Cannot read the screen");
    }
    return picture;
}
