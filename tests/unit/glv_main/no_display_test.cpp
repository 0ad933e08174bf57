// Without any X server the display services fail cleanly: no modes, refused switches, no crash.
#include "platform/display_modes.h"
#include "platform/exception.h"
#include "platform/screen_capture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(WithoutADisplay, ModesAndCaptureFailWithoutCrashing) {
    // A display that cannot exist; the services connect on first use, which is after this.
    setenv("DISPLAY", "unix:65000", 1);
    SystemDisplayMode mode;
    EXPECT_FALSE(enumDisplaySettings(0, mode));
    mode.mode = {800, 600, 32, 60};
    mode.id = 1;
    EXPECT_NE(changeDisplaySettings(mode), 0);
    restoreDisplaySettings();
    EXPECT_EQ(screenWidth(), 0);
    EXPECT_EQ(screenHeight(), 0);
    EXPECT_THROW(captureScreen(), Exception);
}

} // namespace
