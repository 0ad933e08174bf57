// The full-screen run of the real program on the test X server: the stored resolution is set for
// the run and given back on every way out, a failed start shows its log, and a started run shows
// frames without a cursor until a key, a click or the eleventh mouse motion.
#include "platform/display_modes.h"
#include "platform/screen_capture.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path binaryDir = KELVARA_BINARY_DIR;
const fs::path program = binaryDir / "kelvara";

// Polls condition every 50 ms until it holds or timeout passes.
bool waitFor(const std::function<bool()>& condition, std::chrono::seconds timeout) {
    auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

struct Size {
    int width;
    int height;
    bool operator==(const Size&) const = default;
};

Size screenSize() {
    return {screenWidth(), screenHeight()};
}

// The list position the settings give a mode: 1 + its place among the offered modes.
int settingsIndexOf(int width, int height) {
    SystemDisplayMode mode;
    int offered = 0;
    for (int i = 0; enumDisplaySettings(i, mode); ++i) {
        const DisplayMode& m = mode.mode;
        if (m.bitsPerPixel > 8 && m.width > 600 && m.width < 1601) {
            ++offered;
            if (m.width == width && m.height == height)
                return offered;
        }
    }
    return -1;
}

// Input as a person gives it, through the XTEST extension.
class Input {
public:
    Input() : display(XOpenDisplay(nullptr)) {}
    ~Input() { XCloseDisplay(display); }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    void key() {
        KeyCode code = XKeysymToKeycode(display, XStringToKeysym("a"));
        XTestFakeKeyEvent(display, code, True, 0);
        XTestFakeKeyEvent(display, code, False, 0);
        XSync(display, False);
    }
    void click() {
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 0);
        XSync(display, False);
    }
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(display, -1, x, y, 0);
        XSync(display, False);
    }
    // Whether the pointer shows nothing over the window under it.
    bool cursorHidden() {
        XFixesCursorImage* image = XFixesGetCursorImage(display);
        if (!image)
            return false;
        bool blank = true;
        for (int i = 0; i < image->width * image->height; ++i)
            blank = blank && (image->pixels[i] & 0xFF000000) == 0;
        XFree(image);
        return blank;
    }

    Display* display;
};

// The number of pixels in the warning colour's hue (red well above blue, as in 0x96C8FF), text
// edges included, inside a rectangle of the screen. White and the pass colour have none.
int warmPixels(const Bitmap& screen, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, screen.height); ++y) {
        const uint8_t* row = screen.row(y);
        for (int x = std::max(left, 0); x < std::min(right, screen.width); ++x) {
            const uint8_t* p = row + 4 * x; // blue, green, red
            count += p[2] > 120 && p[2] - p[0] > 50;
        }
    }
    return count;
}

// Whether the screen is all black.
bool allBlack(const Bitmap& screen) {
    for (size_t i = 0; i < screen.pixels.size(); i += 4)
        if (screen.pixels[i] | screen.pixels[i + 1] | screen.pixels[i + 2])
            return false;
    return true;
}

// Whether another full-screen run of this user holds the program's instance lock (an abstract
// socket): on a machine shared by several test runs, a start must wait for it to end.
class FullScreenRun : public testing::Test {
protected:
    fs::path work;
    pid_t pid = -1;
    Size desktop{};

    void SetUp() override {
        if (!fs::exists(program))
            GTEST_SKIP() << program << " is not built";
        work = binaryDir / "tests" / "fullscreen_e2e";
        fs::remove_all(work);
        fs::create_directories(work / "config" / "kelvara");
        desktop = screenSize();
        // The pointer starts still, in a corner, so that only the test's own motions count.
        Input().moveTo(1, 1);
    }
    void TearDown() override {
        if (pid > 0) { // only on failure: the tests end their runs themselves
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        restoreDisplaySettings();
    }

    void storeResolution(int index) {
        char value[16];
        std::snprintf(value, sizeof value, "%08x", static_cast<unsigned>(index));
        std::ofstream file(work / "config" / "kelvara" / "registry.reg");
        file << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"
             << "\"resolution\"=dword:" << value << "\n\"sound\"=dword:00000001\n"
             << "\"customize\"=\"\"\n";
    }

    void start(const std::vector<std::string>& arguments) {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
            const std::string out = (work / "kelvara.log").string();
            std::freopen(out.c_str(), "w", stdout);
            std::freopen(out.c_str(), "a", stderr);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : arguments)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    bool ended() {
        if (pid <= 0)
            return true;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) != pid)
            return false;
        pid = -1;
        return true;
    }
    std::string log() {
        std::ifstream in(work / "kelvara.log");
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool logHas(const std::string& text) { return log().find(text) != std::string::npos; }
    // The intro has begun: the screen is no longer the plain black of a fresh window.
    bool framesShown() { return !allBlack(captureScreen()); }
    void expectEndsWithTheDesktopBack() {
        EXPECT_TRUE(waitFor([&] { return ended(); }, std::chrono::seconds(30))) << log();
        EXPECT_TRUE(waitFor([&] { return screenSize() == desktop; }, std::chrono::seconds(10)));
    }
};

TEST_F(FullScreenRun, StoredResolutionIsSetForTheRunAndAKeyGivesTheDesktopBack) {
    int index = settingsIndexOf(800, 600);
    ASSERT_GT(index, 0);
    storeResolution(index);
    start({"/s", "--ignore-requirements"});
    EXPECT_TRUE(waitFor([&] { return screenSize() == Size{800, 600}; }, std::chrono::seconds(60)));
    EXPECT_TRUE(waitFor([&] { return logHas("going on as asked"); }, std::chrono::seconds(60)))
        << log();
    Input().key();
    expectEndsWithTheDesktopBack();
}

TEST_F(FullScreenRun, TerminationGivesTheDesktopBack) {
    storeResolution(settingsIndexOf(800, 600));
    start({"/s", "--ignore-requirements"});
    ASSERT_TRUE(waitFor([&] { return screenSize() == Size{800, 600}; }, std::chrono::seconds(60)));
    kill(pid, SIGTERM);
    expectEndsWithTheDesktopBack();
}

TEST_F(FullScreenRun, FailedStartShowsTheLogInTheWarningColourUntilAKey) {
    storeResolution(settingsIndexOf(800, 600));
    start({"/s"});
    ASSERT_TRUE(waitFor([&] { return logHas("Exception: Graphics performance test failed"); },
                        std::chrono::seconds(60)))
        << log();
    // Only the failing figure (in the value column) and the exception line (from the left
    // margin) are in the warning colour.
    EXPECT_TRUE(waitFor(
        [&] {
            Bitmap screen = captureScreen();
            return warmPixels(screen, 400, 16, 600, 400) > 5 &&
                   warmPixels(screen, 16, 16, 300, 400) > 40;
        },
        std::chrono::seconds(20)));
    EXPECT_EQ(screenSize(), (Size{800, 600}));
    EXPECT_FALSE(ended());
    Input().key();
    expectEndsWithTheDesktopBack();
}

TEST_F(FullScreenRun, FailedStartEndsByItselfAfterThirtySeconds) {
    start({"/s"});
    ASSERT_TRUE(waitFor([&] { return logHas("Exception: "); }, std::chrono::seconds(60)));
    auto failed = Clock::now();
    EXPECT_TRUE(waitFor([&] { return ended(); }, std::chrono::seconds(45)));
    EXPECT_GE(Clock::now() - failed, std::chrono::seconds(25));
}

TEST_F(FullScreenRun, StartedRunShowsChangingFramesWithoutACursorAndEndsOnAClick) {
    start({"/s", "--ignore-requirements"});
    ASSERT_TRUE(waitFor([&] { return framesShown(); }, std::chrono::seconds(60))) << log();
    Bitmap first = captureScreen();
    EXPECT_TRUE(
        waitFor([&] { return captureScreen().pixels != first.pixels; }, std::chrono::seconds(20)));
    Input input;
    EXPECT_TRUE(input.cursorHidden());
    input.click();
    expectEndsWithTheDesktopBack();
}

TEST_F(FullScreenRun, TenMotionsLeaveTheRunGoingAndTheEleventhEndsIt) {
    start({"/s", "--ignore-requirements"});
    ASSERT_TRUE(waitFor([&] { return framesShown(); }, std::chrono::seconds(60))) << log();
    Input input;
    // One motion per frame: the program reads each before the next comes, so that none can
    // merge with another on the way.
    for (int i = 1; i <= 10; ++i) {
        Bitmap before = captureScreen();
        input.moveTo(100 + 10 * i, 100 + 5 * i);
        EXPECT_TRUE(waitFor([&] { return captureScreen().pixels != before.pixels; },
                            std::chrono::seconds(20)));
        ASSERT_FALSE(ended()) << "ended on motion " << i;
    }
    Bitmap before = captureScreen();
    EXPECT_TRUE(
        waitFor([&] { return captureScreen().pixels != before.pixels; }, std::chrono::seconds(20)));
    EXPECT_FALSE(ended());
    input.moveTo(300, 300);
    expectEndsWithTheDesktopBack();
}

} // namespace
