// "/p <window>": the logo painted into a host window of the test's own.
#include "e2e.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>

namespace {

// A host colour that the logo (mostly black) does not share.
constexpr uint32_t hostColour = 0x336699;

// Whether the 140 x 70 area at (5, 20) of the host shows a picture rather than the background.
bool logoPainted(e2e::Window host) {
    const std::vector<uint32_t> area = e2e::readPixels(host, 5, 20, 140, 70);
    return std::count(area.begin(), area.end(), hostColour) < static_cast<long>(area.size()) / 2;
}

// The logo as the program carries it: data/preview-logo.ppm, as 0xRRGGBB.
std::vector<uint32_t> expectedLogo() {
    std::ifstream in(std::string(KELVARA_SOURCE_DIR) + "/data/preview-logo.ppm", std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get();
    std::vector<uint32_t> pixels;
    for (int i = 0; i < width * height && in; ++i) {
        const int r = in.get(), g = in.get(), b = in.get();
        pixels.push_back(static_cast<uint32_t>(r << 16 | g << 8 | b));
    }
    return pixels;
}

// The host is filled by an inner window of its own, as most programs' top-level windows are
// (xlogo's, for one): the logo must show over it.
TEST(Preview, PaintsTheLogoAtItsPlaceInTheHostOverItsInnerWindowAndNothingElse) {
    e2e::ConfigHome config;
    e2e::HostWindow host(200, 120, 0x000000);
    host.addInnerWindow(hostColour);
    e2e::Program run({"/p", std::to_string(host.window)}, config.environment());
    ASSERT_TRUE(e2e::waitUntil([&] { return logoPainted(host.window); })) << run.standardError();
    e2e::screenshot("preview_logo");
    EXPECT_EQ(e2e::readPixels(host.window, 5, 20, 140, 70), expectedLogo());
    // Around the picture the host keeps its own background.
    EXPECT_EQ(e2e::readPixel(host.window, 4, 19), hostColour);
    EXPECT_EQ(e2e::readPixel(host.window, 145, 50), hostColour);
    EXPECT_EQ(e2e::readPixel(host.window, 50, 90), hostColour);
    // The form itself never shows.
    EXPECT_EQ(e2e::findWindow("Settings"), e2e::noWindow);

    // Painted over by the host, the logo comes back on a later pass.
    e2e::clearWindow(host.window);
    EXPECT_TRUE(e2e::waitUntil([&] { return logoPainted(host.window); }));

    run.signal(SIGTERM);
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
}

// The preview lives as long as its host: it ends with it, quietly, and takes its instance lock
// along, so that the next preview starts. A host that is gone before the preview starts ends it
// at once, with a line on standard error.
TEST(Preview, EndsWithItsHostAndLetsTheNextPreviewStart) {
    e2e::ConfigHome config;
    for (int round = 0; round < 2; ++round) {
        auto host = std::make_unique<e2e::HostWindow>(200, 120, hostColour);
        const e2e::Window id = host->window;
        e2e::Program run({"/p", std::to_string(id)}, config.environment());
        ASSERT_TRUE(e2e::waitUntil([&] { return logoPainted(id); }))
            << "round " << round << ": " << run.standardError();
        host.reset(); // the host closes while the preview paints into it
        ASSERT_TRUE(run.waitForExit()) << "round " << round;
        EXPECT_EQ(run.exitStatus(), 0);
        EXPECT_EQ(run.standardError(), "");
    }

    // A window that has gone, or never was.
    e2e::Window gone = e2e::noWindow;
    {
        e2e::HostWindow host(50, 50);
        gone = host.window;
    }
    for (const std::string& id : {std::to_string(gone), std::string("4194303")}) {
        e2e::Program stray({"/p", id}, config.environment());
        ASSERT_TRUE(stray.waitForExit()) << id;
        EXPECT_EQ(stray.exitStatus(), 0);
        EXPECT_NE(stray.standardError().find("the preview ends"), std::string::npos)
            << stray.standardError();
    }
}

TEST(Preview, RunsBesideASettingsDialogButNotBesideAnotherPreview) {
    e2e::ConfigHome config;
    e2e::HostWindow host(200, 120, hostColour);
    e2e::Program dialog({"/c"}, config.environment());
    ASSERT_NE(e2e::waitForWindow("Tarnwick Screensaver Settings"), e2e::noWindow);
    e2e::Program preview({"/p", std::to_string(host.window)}, config.environment());
    ASSERT_TRUE(e2e::waitUntil([&] { return logoPainted(host.window); }));
    e2e::Program second({"/p", std::to_string(host.window)}, config.environment());
    ASSERT_TRUE(second.waitForExit());
    EXPECT_EQ(second.exitStatus(), 0);
    EXPECT_TRUE(preview.running());
    EXPECT_TRUE(dialog.running());
}

} // namespace
