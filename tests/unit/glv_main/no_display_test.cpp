// Without any X server the display services fail cleanly: no modes, refused switches, no crash.
#include "platform/display_modes.h"
#include "platform/exception.h"
#include "platform/window_system.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(WithoutADisplay, ModesAndCaptureFailWithoutCrashing) {
    // A display that cannot exist; the services connect on first use, which is after this.
    setenv("DISPLAY", "unix:65000", 1);
    SystemDisplayMode mode;
    EXPECT_FALSE(windowSystem().enumDisplaySettings(0, mode));
    mode.mode = {800, 600, 32, 60};
    mode.id = 1;
    EXPECT_NE(windowSystem().changeDisplaySettings(mode), 0);
    windowSystem().restoreDisplaySettings();
    EXPECT_EQ(windowSystem().screenWidth(), 0);
    EXPECT_EQ(windowSystem().screenHeight(), 0);
    EXPECT_THROW(windowSystem().captureScreen(), Exception);
}

} // namespace
