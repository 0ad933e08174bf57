#include "platform/error_display.h"
#include "platform/window_system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

TEST(ErrorDisplay, AddsAFullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(errorDisplayText("'abc' is not a valid integer value"),
              "'abc' is not a valid integer value.");
    EXPECT_EQ(errorDisplayText("Change resolution failed!"), "Change resolution failed!");
    EXPECT_EQ(errorDisplayText("Done."), "Done.");
    EXPECT_EQ(errorDisplayText("Failed to set data for 'resolution'"),
              "Failed to set data for 'resolution'"); // a quote is below the full stop
    EXPECT_EQ(errorDisplayText("line 7"), "line 7."); // a digit is above it
    EXPECT_EQ(errorDisplayText("a/b/"), "a/b/.");
    EXPECT_EQ(errorDisplayText("a-"), "a-");
    EXPECT_EQ(errorDisplayText("caf\xC3\xA9"), "caf\xC3\xA9."); // bytes above 127 count as high
    EXPECT_EQ(errorDisplayText(""), "");
}

TEST(ErrorDisplay, WithoutADisplayOnlyPrints) {
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved != nullptr ? saved : "";
    setenv("DISPLAY", ":999", 1);                // no server there
    windowSystem().showError("no display here"); // must return at once rather than wait for a click
    if (saved != nullptr) {
        setenv("DISPLAY", display.c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

} // namespace
