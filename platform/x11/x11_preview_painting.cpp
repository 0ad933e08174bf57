// Painting into another program's window (paintIntoX11Window) on X11: XPutImage into a window of
// our own, made a child of the host at the picture's place, so that the picture shows over whatever
// windows the host has inside itself (a host whose whole area is an inner window would otherwise
// hide it). The X errors of a host that is gone (or never was) are taken as "nothing painted".
#include "platform/x11/x11_services.h"

#include "platform/x11/x11_connection.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// The lowest set bit's position and the width of a colour mask of the visual.
void maskShape(unsigned long mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

unsigned long scaleInto(uint8_t value, unsigned long mask) {
    int shift = 0, bits = 0;
    maskShape(mask, shift, bits);
    if (bits == 0) {
        return 0;
    }
    const unsigned long v = bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8)
                                      : static_cast<unsigned long>(value) >> (8 - bits);
    return (v << shift) & mask;
}

// The image and graphics context of the preview's passes, made again only when the host's format
// or the picture's size changes, so that a pass allocates nothing. Kept to the process's end,
// like the connection they belong to.
struct PreviewCache {
    Visual* visual = nullptr;
    int depth = 0;
    int width = 0;
    int height = 0;
    XImage* image = nullptr;
    GC gc = nullptr;
    std::vector<char> buffer;
    // The child window the picture goes into, and the host and place it was made for.
    Window child = None;
    Window childHost = None;
    int childX = 0, childY = 0, childWidth = 0, childHeight = 0;
} cache;

// The child of the host at (x, y), width x height, mapped above the host's own children; made
// again only for another host or place. None when it cannot be made (the host is gone, or is
// no window a picture can show in); the caller's trap catches the error.
Window previewChild(Display* display, Window host, int x, int y, int width, int height) {
    if (cache.child != None && cache.childHost == host && cache.childX == x && cache.childY == y &&
        cache.childWidth == width && cache.childHeight == height) {
        return cache.child;
    }
    if (cache.child != None) {
        XDestroyWindow(display, cache.child); // an error if it went with its host: trapped
        cache.child = None;
    }
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None; // every pass repaints it; no clearing in between
    const Window child = XCreateWindow(display, host, x, y, static_cast<unsigned>(width),
                                       static_cast<unsigned>(height), 0, CopyFromParent,
                                       InputOutput, CopyFromParent, CWBackPixmap, &attributes);
    XMapRaised(display, child);
    XSync(display, False);
    cache.child = child;
    cache.childHost = host;
    cache.childX = x;
    cache.childY = y;
    cache.childWidth = width;
    cache.childHeight = height;
    return child;
}

// The image in the host's own format, whatever its depth and byte order (filled through
// XPutPixel); nullptr when Xlib cannot make one.
XImage* previewImage(Display* display, const XWindowAttributes& host, Window window, int width,
                     int height) {
    if (cache.image != nullptr && cache.visual == host.visual && cache.depth == host.depth &&
        cache.width == width && cache.height == height) {
        return cache.image;
    }
    if (cache.image != nullptr) {
        cache.image->data = nullptr; // the buffer is ours, not Xlib's
        XDestroyImage(cache.image);
        cache.image = nullptr;
    }
    if (cache.gc != nullptr && cache.depth != host.depth) {
        XFreeGC(display, cache.gc);
        cache.gc = nullptr;
    }
    if (cache.gc == nullptr) {
        cache.gc = XCreateGC(display, window, 0, nullptr); // valid for any window of the depth
    }
    cache.image =
        XCreateImage(display, host.visual, static_cast<unsigned>(host.depth), ZPixmap, 0, nullptr,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (cache.image == nullptr) {
        return nullptr;
    }
    cache.buffer.resize(static_cast<size_t>(cache.image->bytes_per_line) * height);
    cache.image->data = cache.buffer.data();
    cache.visual = host.visual;
    cache.depth = host.depth;
    cache.width = width;
    cache.height = height;
    return cache.image;
}

} // namespace

void paintIntoX11Window(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                        int height) {
    Display* display = x11Display();
    width = std::min(width, picture.width);
    height = std::min(height, picture.height);
    if (display == nullptr || window == 0 || width <= 0 || height <= 0) {
        return;
    }
    // The host is another program's window: an error about it is an answer, not a fault.
    X11ErrorTrap trap(display);
    XWindowAttributes attributes{};
    const Window host = static_cast<Window>(window);
    if (XGetWindowAttributes(display, host, &attributes) != 0 && !trap.caught() &&
        attributes.visual != nullptr && attributes.visual->c_class == TrueColor &&
        attributes.depth >= 8 && attributes.depth <= 32) {
        XImage* image = previewImage(display, attributes, host, width, height);
        const Window child = previewChild(display, host, x, y, width, height);
        if (image != nullptr && !trap.caught()) {
            const Visual* v = attributes.visual;
            // A 32-bit host keeps alpha in the bits no colour uses: make the logo opaque.
            const unsigned long alpha =
                attributes.depth == 32
                    ? 0xFFFFFFFFul & ~(v->red_mask | v->green_mask | v->blue_mask)
                    : 0;
            for (int row = 0; row < height; ++row) {
                const uint8_t* p = picture.row(row);
                for (int col = 0; col < width; ++col, p += picture.bytesPerPixel()) {
                    XPutPixel(image, col, row,
                              alpha | scaleInto(p[2], v->red_mask) |
                                  scaleInto(p[1], v->green_mask) | scaleInto(p[0], v->blue_mask));
                }
            }
            XPutImage(display, child, cache.gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        }
    }
    // The trap waits for the errors of the requests above before it lets go.
}
