// Desktop services (paintIntoWin32Window, openUrl) on Windows: BitBlt from a DIB section kept for
// the preview's passes into the host window's device context; ShellExecuteA "open".
#include "platform/desktop_services.h"
#include "platform/win32/win32_services.h"

#include "platform/win32/win32_loop.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace {

// The logo as a GDI bitmap, made on the first pass and kept, so that a pass allocates nothing.
struct PreviewCache {
    HDC memory = nullptr;
    HGDIOBJ ownBitmap = nullptr; // the DC's own, selected back before a section is deleted
    HBITMAP section = nullptr;
    const Bitmap* picture = nullptr;
    int width = 0;
    int height = 0;
} cache;

bool prepare(const Bitmap& picture, int width, int height) {
    if (cache.section != nullptr && cache.picture == &picture && cache.width == width &&
        cache.height == height) {
        return true;
    }
    if (cache.section != nullptr) {
        // A bitmap that a DC holds cannot be deleted.
        SelectObject(cache.memory, cache.ownBitmap);
        DeleteObject(cache.section);
        cache.section = nullptr;
    }
    if (cache.memory == nullptr) {
        cache.memory = CreateCompatibleDC(nullptr);
        if (cache.memory == nullptr) {
            return false;
        }
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    cache.section = CreateDIBSection(cache.memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (cache.section == nullptr || bits == nullptr) {
        return false;
    }
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < height; ++y) {
        uint8_t* out = static_cast<uint8_t*>(bits) + stride * y;
        const uint8_t* in = picture.row(y);
        for (int x = 0; x < width; ++x, in += picture.bytesPerPixel(), out += 3) {
            std::memcpy(out, in, 3);
        }
    }
    HGDIOBJ before = SelectObject(cache.memory, cache.section);
    if (cache.ownBitmap == nullptr) {
        cache.ownBitmap = before;
    }
    cache.picture = &picture;
    cache.width = width;
    cache.height = height;
    return true;
}

} // namespace

void paintIntoWin32Window(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                          int height) {
    HWND host = reinterpret_cast<HWND>(window);
    width = std::min(width, picture.width);
    height = std::min(height, picture.height);
    if (host == nullptr || !IsWindow(host) || width <= 0 || height <= 0 ||
        !prepare(picture, width, height)) {
        return;
    }
    HDC target = GetDC(host);
    if (target != nullptr) {
        BitBlt(target, x, y, width, height, cache.memory, 0, 0, SRCCOPY);
        ReleaseDC(host, target);
    }
}

void openUrl(const std::string& url) {
    HWND form = win32MainForm() != nullptr ? win32MainForm()->windowHandle() : nullptr;
    ShellExecuteA(form, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
