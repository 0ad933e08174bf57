// The display modes of the test X server (Xorg with the dummy driver): listed, switched and
// given back.
#include "platform/display_modes.h"
#include "platform/window_system.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <X11/Xlib.h>

#include <vector>

namespace {

std::vector<SystemDisplayMode> allModes() {
    std::vector<SystemDisplayMode> modes;
    SystemDisplayMode mode;
    for (int i = 0; windowSystem().enumDisplaySettings(i, mode); ++i)
        modes.push_back(mode);
    return modes;
}

struct ScreenSize {
    int width;
    int height;
};

ScreenSize currentScreenSize() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return {0, 0};
    ScreenSize size{DisplayWidth(display, DefaultScreen(display)),
                    DisplayHeight(display, DefaultScreen(display))};
    XCloseDisplay(display);
    return size;
}

const SystemDisplayMode* find(const std::vector<SystemDisplayMode>& modes, int width, int height) {
    for (const auto& mode : modes)
        if (mode.mode.width == width && mode.mode.height == height)
            return &mode;
    return nullptr;
}

TEST(DisplayModes, ListsTheOutputsModesWithDepthAndRoundedRefresh) {
    auto modes = allModes();
    ASSERT_FALSE(modes.empty());
    for (const auto& mode : modes) {
        EXPECT_GT(mode.mode.width, 0);
        EXPECT_GT(mode.mode.height, 0);
        // A 24-bit root is held in 32-bit pixels.
        EXPECT_EQ(mode.mode.bitsPerPixel, 32);
        EXPECT_GT(mode.mode.refreshRate, 0);
        EXPECT_LT(mode.mode.refreshRate, 250);
        EXPECT_NE(mode.id, 0u);
    }
    EXPECT_NE(find(modes, 800, 600), nullptr);

    SystemDisplayMode beyond;
    EXPECT_FALSE(windowSystem().enumDisplaySettings(static_cast<int>(modes.size()), beyond));
    EXPECT_FALSE(windowSystem().enumDisplaySettings(-1, beyond));
    // Listing again gives the same first mode.
    SystemDisplayMode first;
    ASSERT_TRUE(windowSystem().enumDisplaySettings(0, first));
    EXPECT_EQ(first.id, modes[0].id);
}

TEST(DisplayModes, SwitchesToAModeAndRestoresTheOldOneOnlyOnce) {
    auto modes = allModes();
    ScreenSize before = currentScreenSize();
    const SystemDisplayMode* small = find(modes, 800, 600);
    const SystemDisplayMode* large = find(modes, 1280, 1024);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);

    ASSERT_EQ(windowSystem().changeDisplaySettings(*small), 0);
    EXPECT_EQ(currentScreenSize().width, 800);
    EXPECT_EQ(currentScreenSize().height, 600);
    // A second change still restores to the mode before the first one.
    ASSERT_EQ(windowSystem().changeDisplaySettings(*large), 0);
    EXPECT_EQ(currentScreenSize().width, 1280);
    EXPECT_EQ(currentScreenSize().height, 1024);

    windowSystem().restoreDisplaySettings();
    EXPECT_EQ(currentScreenSize().width, before.width);
    EXPECT_EQ(currentScreenSize().height, before.height);
    // Harmless without a change in between.
    windowSystem().restoreDisplaySettings();
    EXPECT_EQ(currentScreenSize().width, before.width);
}

TEST(DisplayModes, RefusesAModeTheOutputDoesNotOffer) {
    SystemDisplayMode unknown;
    unknown.mode = {800, 600, 32, 60};
    unknown.id = 0x7fffffff;
    EXPECT_NE(windowSystem().changeDisplaySettings(unknown), 0);
    windowSystem().restoreDisplaySettings();
}

} // namespace
