// Desktop capture (captureWin32Screen) on Windows: a GDI copy of the screen's device context into
// a 24-bit DIB section: the primary monitor, or the monitor of this process's run. Unlike a
// simulated Print Screen it leaves the clipboard alone and cannot wait for a picture that never
// comes.
#include "platform/win32/win32_services.h"

#include "platform/exception.h"

#include <windows.h>

#include <cstring>

int win32ScreenWidth() {
    return win32CoveredArea().width;
}

int win32ScreenHeight() {
    return win32CoveredArea().height;
}

Bitmap captureWin32Screen() {
    const Monitor area = win32CoveredArea();
    const int width = area.width;
    const int height = area.height;
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
        copied = BitBlt(memory, 0, 0, width, height, screen, area.x, area.y, SRCCOPY) != 0;
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
