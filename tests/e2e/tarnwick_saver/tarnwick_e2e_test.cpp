// The whole program on the test X server: "/s --ignore-requirements" on a desktop showing the
// demo picture plays the intro, then shows the picture as the mosaic, broken into tiles where
// the wanderer has been, and a key press ends it.
#include "e2e.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using e2e::Picture;

class TarnwickRun : public testing::Test {
protected:
    fs::path work;
    e2e::ConfigHome config; // the settings go to a folder of the test's own, never the user's
    std::optional<e2e::Program> run; // killed when the test ends before it

    void SetUp() override {
        if (!fs::exists(e2e::programPath())) {
            GTEST_SKIP() << e2e::programPath() << " is not built";
        }
        work = fs::path(KELVARA_BINARY_DIR) / "tests" / "tarnwick_e2e";
        fs::remove_all(work);
        fs::create_directories(work);
    }

    void start(const std::vector<std::string>& arguments) {
        run.emplace(arguments, config.environment());
    }
};

TEST_F(TarnwickRun, AFullScreenRunShowsTheIntroThenBreaksTheDesktopPictureIntoTiles) {
    // The demo picture on the desktop, scaled to the screen.
    const Picture picture =
        e2e::showOnRoot(KELVARA_SOURCE_DIR "/data/demo-desktop.jpg", work.string());
    const Picture desktop = e2e::takeScreenshot(work / "desktop.ppm");
    ASSERT_GT(e2e::shareAlike(desktop, picture), 0.95) << "the desktop does not show the picture";

    const auto started = Clock::now();
    start({"/s", "--ignore-requirements"});

    // The intro covers the screen, mostly dark.
    ASSERT_TRUE(e2e::waitForScreen(
        *run, work / "poll.ppm", "the intro",
        [&](const Picture& shot) { return e2e::shareAlike(shot, desktop) < 0.5; }, 60));
    // Then the mosaic: the picture again, nearly all of it in place.
    ASSERT_TRUE(e2e::waitForScreen(
        *run, work / "poll.ppm", "the mosaic",
        [&](const Picture& shot) { return e2e::shareAlike(shot, desktop) > 0.8; }, 120));

    // Then the picture is still there, but broken up where the wanderer passed.
    double alike = 0;
    ASSERT_TRUE(e2e::waitForScreen(
        *run, work / "mosaic-broken.ppm", "tiles out of place",
        [&](const Picture& shot) {
            alike = e2e::shareAlike(shot, desktop);
            return alike > 0.6 && alike < 0.995;
        },
        120))
        << "last share of the picture in place: " << alike;
    std::printf(
        "tarnwick: tiles out of place %.1f s after the start, %.3f of the picture in place\n",
        std::chrono::duration<double>(Clock::now() - started).count(), alike);

    // A key press ends the run.
    ASSERT_EQ(std::system("xdotool key space"), 0);
    ASSERT_TRUE(run->waitForExit(30)) << "kelvara did not end on a key press";
    EXPECT_EQ(run->exitStatus(), 0) << "kelvara did not end cleanly";
}

} // namespace
