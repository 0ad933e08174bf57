// The whole program on the test X server: "/s --ignore-requirements" on a desktop showing the
// demo picture plays the intro, then shows the picture as the mosaic, broken into tiles where
// the wanderer has been, and a key press ends it.
#include "e2e.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
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
    bool running() { return run && run->running(); }
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

    // About 20 s in: the picture is still there, but broken up where the wanderer passed.
    const auto at20s = started + std::chrono::seconds(20);
    if (Clock::now() < at20s) {
        std::this_thread::sleep_until(at20s);
    }
    ASSERT_TRUE(running()) << "kelvara ended before 20 s";
    const Picture later = e2e::takeScreenshot(work / "mosaic-20s.ppm");
    const double alike = e2e::shareAlike(later, desktop);
    EXPECT_GT(alike, 0.6);
    EXPECT_LT(alike, 0.995) << "no tile is out of place";

    // A key press ends the run.
    ASSERT_EQ(std::system("xdotool key space"), 0);
    ASSERT_TRUE(run->waitForExit(30)) << "kelvara did not end on a key press";
    EXPECT_EQ(run->exitStatus(), 0) << "kelvara did not end cleanly";
}

} // namespace
