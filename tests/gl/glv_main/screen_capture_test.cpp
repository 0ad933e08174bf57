// Capturing the desktop of the test X server: size, pixel layout and colours.
#include "platform/display_modes.h"
#include "platform/window_system.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <X11/Xlib.h>

namespace {

// A mapped override-redirect window of one colour at (x, y), drawn and flushed.
class ColourPatch {
public:
    ColourPatch(int x, int y, unsigned long rgb) {
        display = XOpenDisplay(nullptr);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = rgb; // 24-bit TrueColor: the pixel is 0xRRGGBB
        attributes.event_mask = ExposureMask;
        window = XCreateWindow(display, DefaultRootWindow(display), x, y, 40, 30, 0, CopyFromParent,
                               InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
        XMapRaised(display, window);
        XEvent event;
        do
            XNextEvent(display, &event);
        while (event.type != Expose);
        XSync(display, False);
    }
    ~ColourPatch() {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    ColourPatch(const ColourPatch&) = delete;
    ColourPatch& operator=(const ColourPatch&) = delete;

private:
    Display* display;
    Window window;
};

TEST(ScreenCapture, TakesTheWholeScreenAsBlueGreenRedBytes) {
    ColourPatch patch(100, 50, 0x204080);
    Bitmap screen = windowSystem().captureScreen();
    EXPECT_EQ(screen.width, windowSystem().screenWidth());
    EXPECT_EQ(screen.height, windowSystem().screenHeight());
    EXPECT_EQ(screen.bitsPerPixel, 32);
    ASSERT_EQ(screen.pixels.size(), static_cast<size_t>(screen.width) * screen.height * 4);
    const uint8_t* pixel = screen.row(60) + 4 * 110;
    EXPECT_EQ(pixel[0], 0x80); // blue
    EXPECT_EQ(pixel[1], 0x40);
    EXPECT_EQ(pixel[2], 0x20); // red
}

TEST(ScreenCapture, FollowsTheScreenSizeAcrossAModeSwitch) {
    SystemDisplayMode mode;
    bool found = false;
    for (int i = 0; !found && windowSystem().enumDisplaySettings(i, mode); ++i)
        found = mode.mode.width == 800 && mode.mode.height == 600;
    ASSERT_TRUE(found);
    ASSERT_EQ(windowSystem().changeDisplaySettings(mode), 0);
    EXPECT_EQ(windowSystem().screenWidth(), 800);
    EXPECT_EQ(windowSystem().screenHeight(), 600);
    Bitmap screen = windowSystem().captureScreen();
    EXPECT_EQ(screen.width, 800);
    EXPECT_EQ(screen.height, 600);
    windowSystem().restoreDisplaySettings();
    EXPECT_NE(windowSystem().screenWidth(), 800);
}

} // namespace
