// Desktop capture (captureX11Screen, x11ScreenWidth, x11ScreenHeight) on Xlib: the root window of
// the default screen, or the part of it that the run's monitor shows, read through shared memory
// (MIT-SHM) where the server offers it, else with XGetImage, converted from its true-colour
// visual's masks to 32-bit BGRX.
#include "platform/x11/x11_services.h"

#include "platform/exception.h"
#include "platform/x11/x11_capture.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_monitors.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <csignal>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

// The part of the root window to read: the run's monitor, else all of it. Asks the server each
// time: the size Xlib keeps lags behind a mode switch.
bool screenArea(int& left, int& top, int& width, int& height) {
    left = top = 0;
    if (Monitor monitor; x11RunMonitor(monitor)) {
        left = monitor.x;
        top = monitor.y;
        width = monitor.width;
        height = monitor.height;
        return true;
    }
    Display* display = x11Display();
    if (!display)
        return false;
    Window root = None;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &w, &h, &border, &depth))
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// Where a colour channel sits in a pixel and how to widen it to 8 bits.
struct Channel {
    explicit Channel(unsigned long mask) {
        if (mask == 0)
            return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        this->mask = mask;
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
    }
    uint8_t operator()(unsigned long pixel) const {
        if (bits == 0)
            return 0;
        unsigned long value = (pixel >> shift) & mask;
        if (bits >= 8)
            return static_cast<uint8_t>(value >> (bits - 8));
        // Spread a narrow channel over the whole byte, so full intensity stays 255.
        return static_cast<uint8_t>(value * 255 / mask);
    }
    unsigned long mask = 0;
    int shift = 0;
    int bits = 0;
};

// Holds back the signals that end a hosted run at once (platform/posix/posix_termination.cpp)
// while it lives, so that they arrive only after it.
class TerminationSignalsHeld {
public:
    TerminationSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&held, s);
        pthread_sigmask(SIG_BLOCK, &held, &previous);
    }
    ~TerminationSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
    TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

private:
    sigset_t previous;
};

// The screen read through a shared memory segment: no copy through the socket. Any failure
// (no extension, a remote server, no segment) leaves the plain read to do the work.
class SharedImage {
public:
    SharedImage(Display* display, Visual* visual, int width, int height) : display(display) {
        if (!XShmQueryExtension(display))
            return;
        int screen = DefaultScreen(display);
        image = XShmCreateImage(
            display, visual, static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap, nullptr,
            &segment, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (!image)
            return;
        // A segment outlives its process until it is marked for removal, and a host ends its
        // savers at any moment: it is marked as soon as the server has attached it (it then goes
        // with the last detachment), and no termination signal may come in between.
        TerminationSignalsHeld held;
        segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height,
                               IPC_CREAT | 0600);
        if (segment.shmid < 0)
            return;
        void* address = shmat(segment.shmid, nullptr, 0);
        if (address != reinterpret_cast<void*>(-1)) {
            segment.shmaddr = image->data = static_cast<char*>(address);
            segment.readOnly = False;
            trap.emplace(display);
            attached = XShmAttach(display, &segment) && !trap->failed(); // failed() syncs
        }
        shmctl(segment.shmid, IPC_RMID, nullptr);
    }
    ~SharedImage() {
        if (attached) {
            XShmDetach(display, &segment);
            XSync(display, False);
        }
        trap.reset();
        if (segment.shmaddr)
            shmdt(segment.shmaddr);
        if (image) {
            image->data = nullptr; // the segment's memory, released above
            XDestroyImage(image);
        }
    }
    SharedImage(const SharedImage&) = delete;
    SharedImage& operator=(const SharedImage&) = delete;

    // Reads rows [top, top + rows) of the screen from column left on into the image's first rows.
    bool read(int left, int top, int rows) {
        if (!attached)
            return false;
        image->height = rows;
        bool done = XShmGetImage(display, DefaultRootWindow(display), image, left, top, AllPlanes);
        return done && !trap->failed();
    }

    XImage* image = nullptr;

private:
    Display* display;
    XShmSegmentInfo segment{0, -1, nullptr, False};
    std::optional<X11ErrorTrap> trap; // from the attachment to the detachment
    bool attached = false;
};

constexpr int stripRows = 64;

// Copies the image's rows into picture from row top on, as blue, green, red, unused.
void convertRows(XImage& image, Bitmap& picture, int top) {
    bool plainBgrx = image.bits_per_pixel == 32 && image.byte_order == LSBFirst &&
                     image.red_mask == 0xFF0000 && image.green_mask == 0xFF00 &&
                     image.blue_mask == 0xFF;
    Channel red(image.red_mask), green(image.green_mask), blue(image.blue_mask);
    int width = std::min(image.width, picture.width);
    for (int y = 0; y < image.height && top + y < picture.height; ++y) {
        uint8_t* out = picture.row(top + y);
        const char* in = image.data + static_cast<size_t>(y) * image.bytes_per_line;
        if (plainBgrx) {
            // Already the bitmap's own layout.
            std::memcpy(out, in, static_cast<size_t>(width) * 4);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            unsigned long pixel = XGetPixel(&image, x, y);
            out[4 * x] = blue(pixel);
            out[4 * x + 1] = green(pixel);
            out[4 * x + 2] = red(pixel);
            out[4 * x + 3] = 0;
        }
    }
}

} // namespace

int x11ScreenWidth() {
    int left = 0, top = 0, width = 0, height = 0;
    return screenArea(left, top, width, height) ? width : 0;
}

int x11ScreenHeight() {
    int left = 0, top = 0, width = 0, height = 0;
    return screenArea(left, top, width, height) ? height : 0;
}

Bitmap captureX11Screen() {
    Display* display = x11Display();
    int left = 0, top = 0, width = 0, height = 0;
    if (!display || !screenArea(left, top, width, height))
        throw Exception("Cannot read the screen: no display");
    Visual* visual = DefaultVisual(display, DefaultScreen(display));
    if (visual->c_class != TrueColor && visual->c_class != DirectColor)
        throw Exception("Cannot read the screen: it has no true-colour visual");

    Bitmap picture(width, height, 32);
    {
        // A strip at a time through one small segment: fresh memory costs a page fault per
        // page on first touch, and the bitmap already pays that once for the whole screen.
        SharedImage shared(display, visual, width, std::min(height, stripRows));
        bool done = shared.image != nullptr;
        for (int row = 0; done && row < height; row += stripRows) {
            done = shared.read(left, top + row, std::min(stripRows, height - row));
            if (done)
                convertRows(*shared.image, picture, row);
        }
        if (done)
            return picture;
    }

    return readX11Drawable(display, DefaultRootWindow(display), width, height, left, top);
}

Bitmap readX11Drawable(Display* display, Drawable drawable, int width, int height, int left,
                       int top) {
    X11ErrorTrap trap(display);
    XImage* image = XGetImage(display, drawable, left, top, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (trap.failed() || !image || image->width != width || image->height != height) {
        if (image)
            XDestroyImage(image);
        throw Exception("Cannot read the screen");
    }
    if (image->red_mask == 0 && image->green_mask == 0 && image->blue_mask == 0) {
        const Visual* visual = DefaultVisual(display, DefaultScreen(display));
        image->red_mask = visual->red_mask;
        image->green_mask = visual->green_mask;
        image->blue_mask = visual->blue_mask;
    }
    Bitmap picture(width, height, 32);
    convertRows(*image, picture, 0);
    XDestroyImage(image);
    return picture;
}
