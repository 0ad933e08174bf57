// The Windows program under Wine on the private X server: the native dialog and its registry
// values (stored where the next read finds them), the full-screen run (failing log, then intro
// and mosaic in the stored mode with the checks ignored and the display scaled to 150 %, the
// display mode given back), an error during the intro, the preview inside a host window, and
// checks of the back end's own code (win32_checks). Needs build-windows/ from
// scripts/build-windows.
#include "e2e.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <X11/Xlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

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
                std::filesystem::exists(windows + "/tests/preview_host.exe") &&
                std::filesystem::exists(windows + "/tests/win32_checks.exe");
        if (!built) {
            return;
        }
        shell(wine + " wineboot --init; /usr/bin/wineserver-stable -w");
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
            GTEST_SKIP() << windows << " has no kelvara.scr, preview_host.exe and "
                         << "win32_checks.exe yet: run scripts/build-windows";
        }
        // Each test starts with no settings stored in either hive.
        shell(wine + " reg delete '" + userKey + "' /f");
        shell(wine + " reg delete '" + machineKey + "' /f");
    }
    static e2e::Program saver(const std::vector<std::string>& arguments,
                              const std::string& program = windows + "/kelvara.scr") {
        std::vector<std::string> all{program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return e2e::Program(all, wineEnvironment(), wine);
    }
    // The check's exit status (77: it cannot be tried under this Wine); -1 without one.
    static int check(const std::string& arguments, std::string& output) {
        output = shell(wine + " " + windows + "/tests/win32_checks.exe " + arguments +
                       "; echo \"exit $?\"");
        const size_t at = output.rfind("exit ");
        return at == std::string::npos ? -1 : std::atoi(output.c_str() + at + 5);
    }
    // The "resolution" value of a hive's key; -1 when there is none.
    static long storedResolution(const std::string& key) {
        const std::string values = shell(wine + " reg query '" + key + "' /v resolution");
        const size_t at = values.find("REG_DWORD    0x");
        return at == std::string::npos ? -1 : std::stol(values.substr(at + 15), nullptr, 16);
    }
    static inline const std::string userKey = "HKCU\\SOFTWARE\\Velloran\\Tarnwick";
    static inline const std::string machineKey = "HKLM\\SOFTWARE\\Velloran\\Tarnwick";
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

// A key ends the run, cleanly. Wine gives its window the keyboard focus a moment after the
// window shows, later still on a busy machine, so a key that came too early is pressed again.
testing::AssertionResult endWithKey(e2e::Program& run) {
    for (int attempt = 0; attempt < 12; ++attempt) {
        e2e::pressKey("a");
        if (run.waitForExit(5)) {
            if (run.exitStatus() != 0) {
                return testing::AssertionFailure()
                       << "ended with status " << run.exitStatus() << "\n"
                       << run.standardError();
            }
            return testing::AssertionSuccess();
        }
    }
    return testing::AssertionFailure() << "still running after the keys";
}

// The screen's size as the server has it now (Xlib's own figure lags behind a switch).
std::pair<int, int> screenSize() {
    Window root = None;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(e2e::display(), DefaultRootWindow(e2e::display()), &root, &x, &y, &width, &height,
                 &border, &depth);
    return {static_cast<int>(width), static_cast<int>(height)};
}

void clickOk(e2e::Window dialog) {
    const e2e::Geometry g = e2e::windowGeometry(dialog);
    e2e::clickIn(dialog, g.width - 46, g.height - 39); // 48 pixels above the bottom edge
}

// The settings dialog, with a choice made in its list (none when letter is empty): a click
// drops the list down, a letter selects the first entry that starts with it, Enter takes it;
// then OK stores it.
void storeInDialog(e2e::Program& run, const std::string& letter) {
    const e2e::Window dialog = e2e::waitForWindow("Tarnwick Screensaver Settings", 60);
    ASSERT_NE(dialog, e2e::noWindow);
    if (!letter.empty()) {
        const e2e::Geometry g = e2e::windowGeometry(dialog);
        e2e::clickIn(dialog, g.width - 116, 61); // the list, below a caption of any usual height
        e2e::pressKey(letter);
        e2e::pressKey("Return");
    }
    clickOk(dialog);
    ASSERT_TRUE(run.waitForExit(30));
    EXPECT_EQ(run.exitStatus(), 0);
}

TEST_F(Wine, TheDialogStoresItsThreeValuesAndASecondInstanceEndsAtOnce) {
    e2e::Program run = saver({"/c"});
    const e2e::Window dialog = e2e::waitForWindow("Tarnwick Screensaver Settings", 60);
    ASSERT_NE(dialog, e2e::noWindow);
    e2e::screenshot("wine-dialog");

    e2e::Program second = saver({"/c"});
    ASSERT_TRUE(second.waitForExit(30));
    EXPECT_TRUE(run.running());
    std::string found;
    EXPECT_EQ(check("owned KELVARA_OTHER_MUTEX", found), 0) << "the instance mutex:\n" << found;

    clickOk(dialog);
    ASSERT_TRUE(run.waitForExit(30));
    const std::string values = shell(wine + " reg query '" + machineKey + "'");
    EXPECT_NE(values.find("resolution    REG_DWORD    0x0"), std::string::npos) << values;
    EXPECT_NE(values.find("sound    REG_DWORD    0x1"), std::string::npos) << values;
    EXPECT_NE(values.find("customize    REG_SZ"), std::string::npos) << values;

    e2e::Program withHandle = saver({"/c:1234"});
    EXPECT_NE(e2e::waitForWindow("Tarnwick Screensaver Settings", 60), e2e::noWindow);
    e2e::closeWindow(e2e::findWindow("Tarnwick Screensaver Settings"));
    EXPECT_TRUE(withHandle.waitForExit(30));
}

// With the user's key there, the next read comes from it: an OK that stored in the machine's
// hive (as it may for an administrator, and for anyone under Wine) would seem to be lost.
TEST_F(Wine, TheDialogStoresWhereTheNextReadLooksWhenBothHivesHoldTheKey) {
    for (const std::string& key : {userKey, machineKey}) {
        shell(wine + " reg add '" + key + "' /v resolution /t REG_DWORD /d 0 /f");
        shell(wine + " reg add '" + key + "' /v sound /t REG_DWORD /d 1 /f");
    }
    {
        e2e::Program run = saver({"/c"});
        storeInDialog(run, "8");
    }
    const long chosen = storedResolution(userKey);
    EXPECT_GT(chosen, 0) << "the choice is not where the next read looks";
    // The next dialog shows the choice: its OK stores it again.
    e2e::Program again = saver({"/c"});
    storeInDialog(again, "");
    EXPECT_EQ(storedResolution(userKey), chosen);
}

// The display at 150 % (144 dots per inch) for the run: a program that did not declare itself
// aware of that would be scaled by the system and cover only part of the screen.
struct RaisedDpi {
    RaisedDpi() {
        shell(wine + " reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d 144 /f");
    }
    ~RaisedDpi() { shell(wine + " reg delete 'HKCU\\Control Panel\\Desktop' /v LogPixels /f"); }
};

TEST_F(Wine, TheFullScreenRunFailsOnSoftwareThenRunsInTheStoredModeWithTheChecksIgnored) {
    const std::pair<int, int> desktop = screenSize();
    {
        e2e::Program run = saver({"/s"});
        EXPECT_TRUE(e2e::waitForScreen(
            run, std::string(KELVARA_BINARY_DIR) + "/wine-log.ppm", "the failing log",
            [](const e2e::Picture& p) { return warningPixels(p) > 20; }, 120));
        e2e::screenshot("wine-failing-log");
        EXPECT_TRUE(endWithKey(run));
    }
    {
        e2e::Program dialog = saver({"/c"});
        storeInDialog(dialog, "8"); // the first of the 800 x 600 modes
    }
    RaisedDpi scaled;
    e2e::TempFolder folder;
    e2e::showOnRoot(std::string(KELVARA_SOURCE_DIR) + "/data/demo-desktop.jpg", folder.path);
    e2e::Program run = saver({"/s", "--ignore-requirements"});
    EXPECT_TRUE(e2e::waitUntil([] { return screenSize() == std::make_pair(800, 600); }, 120))
        << run.standardError();
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
    // The run's window covers the switched screen exactly, unscaled.
    const e2e::Window form = e2e::findWindow("Kelvara, ", e2e::Title::prefix);
    ASSERT_NE(form, e2e::noWindow);
    const e2e::Geometry g = e2e::windowGeometry(form);
    EXPECT_EQ(std::make_pair(g.x, g.y), std::make_pair(0, 0));
    EXPECT_EQ(std::make_pair(g.width, g.height), std::make_pair(800, 600));
    // The mosaic: mostly the desktop picture again, at the run's size.
    const std::string shrink = "convert '" + folder.path + "/picture.ppm' -resize 800x600! " +
                               "-depth 8 'ppm:" + folder.path + "/expected.ppm'";
    ASSERT_EQ(std::system(shrink.c_str()), 0);
    const e2e::Picture expected = e2e::readPpm(folder.path + "/expected.ppm");
    EXPECT_TRUE(e2e::waitForScreen(
        run, folder.path + "/mosaic.ppm", "the mosaic",
        [&](const e2e::Picture& p) { return e2e::shareAlike(p, expected) > 0.5; }, 120));
    e2e::screenshot("wine-mosaic");
    EXPECT_TRUE(endWithKey(run));
    EXPECT_TRUE(e2e::waitUntil([&] { return screenSize() == desktop; }, 30));
}

// An error during the intro (here no logo.dat) ends the run: the box stands in front, over the
// desktop in its own mode, and once it is answered the program ends.
TEST_F(Wine, AnErrorDuringTheIntroShowsItsBoxInFrontAndEndsTheRun) {
    e2e::TempFolder folder;
    std::filesystem::copy_file(windows + "/kelvara.scr", folder.path + "/kelvara.scr");
    std::filesystem::create_directories(folder.path + "/Tarnwick");
    e2e::Program run = saver({"/s", "--ignore-requirements"}, folder.path + "/kelvara.scr");
    const e2e::Window box = e2e::waitForWindow("Kelvara", 120);
    ASSERT_NE(box, e2e::noWindow) << run.standardError();
    EXPECT_NE(run.standardError().find("logo.dat"), std::string::npos) << run.standardError();
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::topLevelWindows().back() == box; }, 30))
        << "the box is behind another window";
    e2e::screenshot("wine-intro-error");
    e2e::closeWindow(box);
    ASSERT_TRUE(run.waitForExit(30)) << "the run went on after the box";
    EXPECT_EQ(run.exitStatus(), 0);
}

// What only Windows code shows: a form whose construction fails leaves no window that would
// lead messages to it, the preview paints a picture that changed (its old bitmap goes), and the
// GL surface asks for one frame per refresh of the display (WGL_EXT_swap_control).
TEST_F(Wine, TheBackEndReleasesAFailedFormRepaintsAChangedPictureAndPacesItsFrames) {
    std::string found;
    EXPECT_EQ(check("failed-form", found), 0) << found;
    EXPECT_EQ(check("repaint", found), 0) << found;
    const int paced = check("swap-interval", found);
    if (paced == 77)
        GTEST_SKIP() << "the frame pacing: " << found;
    EXPECT_EQ(paced, 0) << found;
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

    // A number that is no window: nothing shows, the preview ends at once and says why.
    e2e::Program stray = saver({"/p", "12345"});
    ASSERT_TRUE(stray.waitForExit(30));
    EXPECT_EQ(stray.exitStatus(), 0);
    EXPECT_NE(stray.standardError().find("There is no window 0x3039 on this display; the preview "
                                         "ends"),
              std::string::npos)
        << stray.standardError();
}

} // namespace
