// The Windows program under Wine on the private X server: the native dialog and its registry
// values, the full-screen run (failing log, then intro and mosaic with the checks ignored, the
// display mode given back), and the preview inside a host window. Needs build-windows/ from
// scripts/build-windows.
#include "e2e.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

const std::string windows = std::string(KELVARA_SOURCE_DIR) + "/build-windows";
const std::string wine = "/usr/bin/wine-stable";
const std::string prefix = std::string(KELVARA_BINARY_DIR) + "/wineprefix";

// No Mono or Gecko installers, and no menu entries written into the home folder: everything Wine
// keeps stays in the prefix inside the build folder.
const std::string dllOverrides = "mscoree,mshtml,winemenubuilder.exe=";

e2e::Environment wineEnvironment() {
    return {{"WINEPREFIX", prefix}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", dllOverrides}};
}

std::string shell(const std::string& command) {
    std::string text;
    const std::string line = "WINEPREFIX='" + prefix + "' WINEDEBUG=-all WINEDLLOVERRIDES='" +
                             dllOverrides + "' " + command + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(line.c_str(), "r"), pclose);
    std::array<char, 256> buffer{};
    while (pipe && fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
        text += buffer.data();
    }
    return text;
}

class Wine : public ::testing::Test {
protected:
    // A prefix of its own, made once (about 12 s) and kept between runs.
    static void SetUpTestSuite() {
        built = std::filesystem::exists(windows + "/kelvara.scr") &&
                std::filesystem::exists(windows + "/tests/preview_host.exe");
        if (!built) {
            return;
        }
        shell(wine + " wineboot --init; /usr/bin/wineserver-stable -w");
        shell(wine + " reg delete 'HKLM\\SOFTWARE\\Velloran\\Tarnwick' /f");
        shell(wine + " reg delete 'HKCU\\SOFTWARE\\Velloran\\Tarnwick' /f");
    }
    // Wine's own processes (explorer's desktop, services) outlive the program; they would stay
    // on the shared X server and take input meant for the tests that follow.
    static void TearDownTestSuite() {
        if (built) {
            shell("/usr/bin/wineserver-stable -k; /usr/bin/wineserver-stable -w");
        }
    }
    void SetUp() override {
        if (!built) {
            GTEST_SKIP() << windows << " has no kelvara.scr and preview_host.exe yet: run "
                         << "scripts/build-windows";
        }
    }
    static e2e::Program saver(const std::vector<std::string>& arguments) {
        std::vector<std::string> all{windows + "/kelvara.scr"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return e2e::Program(all, wineEnvironment(), wine);
    }
    static inline bool built = false;
};

// Pixels close to the start-up log's warning colour (red 255, green 200, blue 150).
int warningPixels(const e2e::Picture& p) {
    int n = 0;
    for (size_t i = 0; i + 2 < p.rgb.size(); i += 3) {
        n += p.rgb[i] > 230 && p.rgb[i + 1] > 170 && p.rgb[i + 1] < 230 && p.rgb[i + 2] > 120 &&
             p.rgb[i + 2] < 180;
    }
    return n;
}

// A key ends the run. Wine gives its window the keyboard focus a moment after the window
// shows, later still on a busy machine, so a key that came too early is pressed again.
bool endWithKey(e2e::Program& run) {
    for (int attempt = 0; attempt < 12; ++attempt) {
        e2e::pressKey("a");
        if (run.waitForExit(5)) {
            return true;
        }
    }
    return false;
}

TEST_F(Wine, TheDialogStoresItsThreeValuesAndASecondInstanceEndsAtOnce) {
    e2e::Program run = saver({"/c"});
    const e2e::Window dialog = e2e::waitForWindow("Tarnwick Screensaver Settings", 60);
    ASSERT_NE(dialog, e2e::noWindow);
    e2e::screenshot("wine-dialog");

    e2e::Program second = saver({"/c"});
    ASSERT_TRUE(second.waitForExit(30));
    EXPECT_TRUE(run.running());

    const e2e::Geometry g = e2e::windowGeometry(dialog);
    e2e::clickIn(dialog, g.width - 46, g.height - 39); // OK, 48 pixels above the bottom edge
    ASSERT_TRUE(run.waitForExit(30));
    const std::string values = shell(wine + " reg query 'HKLM\\SOFTWARE\\Velloran\\Tarnwick'");
    EXPECT_NE(values.find("resolution    REG_DWORD    0x0"), std::string::npos) << values;
    EXPECT_NE(values.find("sound    REG_DWORD    0x1"), std::string::npos) << values;
    EXPECT_NE(values.find("customize    REG_SZ"), std::string::npos) << values;

    e2e::Program withHandle = saver({"/c:1234"});
    EXPECT_NE(e2e::waitForWindow("Tarnwick Screensaver Settings", 60), e2e::noWindow);
    e2e::closeWindow(e2e::findWindow("Tarnwick Screensaver Settings"));
    EXPECT_TRUE(withHandle.waitForExit(30));
}

TEST_F(Wine, TheFullScreenRunFailsOnSoftwareThenRunsWithTheChecksIgnored) {
    const int width = e2e::displayWidth(), height = e2e::displayHeight();
    {
        e2e::Program run = saver({"/s"});
        EXPECT_TRUE(e2e::waitForScreen(
            run, std::string(KELVARA_BINARY_DIR) + "/wine-log.ppm", "the failing log",
            [](const e2e::Picture& p) { return warningPixels(p) > 20; }, 120));
        e2e::screenshot("wine-failing-log");
        EXPECT_TRUE(endWithKey(run));
    }
    e2e::TempFolder folder;
    const e2e::Picture desktop =
        e2e::showOnRoot(std::string(KELVARA_SOURCE_DIR) + "/data/demo-desktop.jpg", folder.path);
    e2e::Program run = saver({"/s", "--ignore-requirements"});
    // The intro: a dark screen with the bright logo in its middle.
    EXPECT_TRUE(e2e::waitForScreen(
        run, folder.path + "/intro.ppm", "the intro",
        [](const e2e::Picture& p) {
            const unsigned char* centre = p.at(p.width / 2, p.height / 2);
            const unsigned char* corner = p.at(p.width / 20, p.height - p.height / 20);
            return centre[0] + centre[1] + centre[2] > 450 &&
                   corner[0] + corner[1] + corner[2] < 60;
        },
        120));
    e2e::screenshot("wine-intro");
    // The mosaic: mostly the desktop picture again.
    EXPECT_TRUE(e2e::waitForScreen(
        run, folder.path + "/mosaic.ppm", "the mosaic",
        [&](const e2e::Picture& p) { return e2e::shareAlike(p, desktop) > 0.5; }, 120));
    e2e::screenshot("wine-mosaic");
    EXPECT_TRUE(endWithKey(run));
    EXPECT_EQ(e2e::displayWidth(), width);
    EXPECT_EQ(e2e::displayHeight(), height);
}

TEST_F(Wine, ThePreviewPaintsIntoItsHostAndEndsWithIt) {
    e2e::Program host({windows + "/tests/preview_host.exe", windows + "/kelvara.scr", "8"},
                      wineEnvironment(), wine);
    const e2e::Window window = e2e::waitForWindow("Preview host", 60);
    ASSERT_NE(window, e2e::noWindow);
    // The logo's white lettering inside the host's grey.
    EXPECT_TRUE(e2e::waitUntil(
        [&] {
            const std::vector<uint32_t> pixels = e2e::readPixels(window, 5, 20, 140, 70);
            int bright = 0;
            for (uint32_t p : pixels) {
                bright += (p & 0xFF) > 200 && (p >> 8 & 0xFF) > 200 && (p >> 16 & 0xFF) > 200;
            }
            return bright > 100;
        },
        60));
    e2e::screenshot("wine-preview");
    ASSERT_TRUE(host.waitForExit(60));
    EXPECT_NE(host.standardOutput().find("saver ended, exit code 0"), std::string::npos)
        << host.standardOutput();

    e2e::Program bad = saver({"/p", "abc"});
    ASSERT_TRUE(e2e::waitUntil(
        [&] {
            return !bad.running() ||
                   bad.standardError().find("'abc' is not a valid integer value.") !=
                       std::string::npos;
        },
        60));
    // The message box, captioned "Kelvara", closed as its close box would.
    const e2e::Window box = e2e::waitForWindow("Kelvara", 30);
    ASSERT_NE(box, e2e::noWindow);
    e2e::screenshot("wine-error-box");
    e2e::closeWindow(box);
    EXPECT_TRUE(bad.waitForExit(30));
    EXPECT_NE(bad.standardError().find("'abc' is not a valid integer value."), std::string::npos);
}

} // namespace
