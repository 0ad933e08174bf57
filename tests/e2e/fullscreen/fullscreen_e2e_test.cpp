// The full-screen run of the real program on the test X server: the stored resolution is set for
// the run and given back on every way out (by the mode guardian when the program is killed or
// crashes, at any step of a switch), a failed start shows its log, and a started run shows
// frames without a cursor until a key, a click or the eleventh mouse motion.
#include "e2e.h"
#include "platform/display_modes.h"
#include "platform/window_system.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using e2e::waitUntil;

struct Size {
    int width;
    int height;
    bool operator==(const Size&) const = default;
};

Size screenSize() {
    return {windowSystem().screenWidth(), windowSystem().screenHeight()};
}

// The list position the settings give a mode: 1 + its place among the offered modes.
int settingsIndexOf(int width, int height) {
    SystemDisplayMode mode;
    int offered = 0;
    for (int i = 0; windowSystem().enumDisplaySettings(i, mode); ++i) {
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
void pressKey() {
    e2e::pressKey("a");
}
void moveTo(int x, int y) {
    e2e::moveTo(DefaultRootWindow(e2e::display()), x, y);
}
// A click where the pointer stands, so that it brings no motion with it.
void click() {
    XTestFakeButtonEvent(e2e::display(), 1, True, CurrentTime);
    XTestFakeButtonEvent(e2e::display(), 1, False, CurrentTime);
    XSync(e2e::display(), False);
}
// Whether the pointer shows nothing over the window under it.
bool cursorHidden() {
    XFixesCursorImage* image = XFixesGetCursorImage(e2e::display());
    if (!image)
        return false;
    bool blank = true;
    for (int i = 0; i < image->width * image->height; ++i)
        blank = blank && (image->pixels[i] & 0xFF000000) == 0;
    XFree(image);
    return blank;
}

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

// The mode guardian watching the process, -1 when none runs: its command line is the program's
// with "--mode-guardian" and the watched process id.
pid_t guardianOf(pid_t watched) {
    const std::string wanted =
        std::string("--mode-guardian") + '\0' + std::to_string(watched) + '\0';
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        std::ifstream file(entry.path() / "cmdline", std::ios::binary);
        std::string line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (line.find(wanted) != std::string::npos)
            return static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
    }
    return -1;
}
bool guardianRuns(pid_t watched) {
    return guardianOf(watched) > 0;
}

// Whether the process has stopped (by its own SIGSTOP); read from /proc, since the X server may
// be grabbed by it.
bool stopped(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string id, command, state;
    return static_cast<bool>(stat >> id >> command >> state) && state == "T";
}

std::set<int> descriptorsOf(pid_t pid) {
    std::set<int> found;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored))
        found.insert(std::atoi(entry.path().filename().c_str()));
    return found;
}

// Whether every connected output shows a picture: its CRTC has a mode.
bool outputsLit() {
    Display* display = e2e::display();
    XRRScreenResources* screen = XRRGetScreenResources(display, DefaultRootWindow(display));
    bool lit = screen != nullptr;
    for (int i = 0; lit && i < screen->noutput; ++i) {
        XRROutputInfo* output = XRRGetOutputInfo(display, screen, screen->outputs[i]);
        if (output && output->connection == RR_Connected) {
            XRRCrtcInfo* crtc =
                output->crtc != None ? XRRGetCrtcInfo(display, screen, output->crtc) : nullptr;
            lit = crtc != nullptr && crtc->mode != None;
            if (crtc)
                XRRFreeCrtcInfo(crtc);
        }
        if (output)
            XRRFreeOutputInfo(output);
    }
    if (screen)
        XRRFreeScreenResources(screen);
    return lit;
}

// Sets the screen as another program would (a person with xrandr).
void setScreenWithXrandr(Size size) {
    std::string command =
        "xrandr -s " + std::to_string(size.width) + "x" + std::to_string(size.height);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class FullScreenRun : public testing::Test {
protected:
    e2e::ConfigHome config;
    std::optional<e2e::Program> run;
    Size desktop{};

    void SetUp() override {
        if (!std::filesystem::exists(e2e::programPath()))
            GTEST_SKIP() << e2e::programPath() << " is not built";
        desktop = screenSize();
        // Frames are told from a black screen: a picture that an earlier test (one showing the
        // desktop effect, the Wine run) left on the root window would pass for them.
        Display* display = e2e::display();
        XSetWindowBackground(display, DefaultRootWindow(display),
                             BlackPixel(display, DefaultScreen(display)));
        XClearWindow(display, DefaultRootWindow(display));
        XSync(display, False);
        // The pointer starts still, in a corner, so that only the test's own motions count.
        moveTo(1, 1);
    }
    void TearDown() override {
        run.reset(); // killed first, only on failure: the tests end their runs themselves
        windowSystem().restoreDisplaySettings();
    }

    void storeResolution(int index) {
        char value[16];
        std::snprintf(value, sizeof value, "%08x", static_cast<unsigned>(index));
        config.writeRegistry(
            std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n") +
            "\"resolution\"=dword:" + value + "\n\"sound\"=dword:00000001\n" +
            "\"customize\"=\"\"\n");
    }

    void start(const std::vector<std::string>& arguments, const e2e::Environment& more = {},
               const std::string& program = e2e::programPath()) {
        e2e::Environment environment = config.environment();
        environment.insert(environment.end(), more.begin(), more.end());
        run.emplace(arguments, environment, program);
    }
    bool ended() { return !run || !run->running(); }
    std::string log() { return run->standardOutput() + run->standardError(); }
    bool logHas(const std::string& text) { return log().find(text) != std::string::npos; }
    // The intro has begun: the screen is no longer the plain black of a fresh window.
    bool framesShown() { return !allBlack(windowSystem().captureScreen()); }
    void expectEndsWithTheDesktopBack() {
        EXPECT_TRUE(waitUntil([&] { return ended(); }, 30)) << log();
        // A run that dies in its teardown (an X error ends the process by default) may never
        // get to give the mode back.
        EXPECT_EQ(run->exitStatus(), 0) << log();
        EXPECT_TRUE(waitUntil([&] { return screenSize() == desktop; })) << log();
        EXPECT_TRUE(waitUntil([&] { return !guardianRuns(run->pid); }));
    }
    // Starts a run at 800 x 600 and waits until its checks are done and the intro goes on.
    void startAt800x600() {
        storeResolution(settingsIndexOf(800, 600));
        start({"/s", "--ignore-requirements"});
        ASSERT_TRUE(waitUntil([&] { return screenSize() == Size{800, 600}; }, 60));
        ASSERT_TRUE(waitUntil([&] { return logHas("going on as asked"); }, 60)) << log();
        ASSERT_TRUE(guardianRuns(run->pid));
    }
};

TEST_F(FullScreenRun, StoredResolutionIsSetForTheRunAndAKeyGivesTheDesktopBack) {
    int index = settingsIndexOf(800, 600);
    ASSERT_GT(index, 0);
    storeResolution(index);
    start({"/s", "--ignore-requirements"});
    EXPECT_TRUE(waitUntil([&] { return screenSize() == Size{800, 600}; }, 60));
    EXPECT_TRUE(waitUntil([&] { return logHas("going on as asked"); }, 60)) << log();
    pressKey();
    expectEndsWithTheDesktopBack();
}

// Every X user in the program (the toolkit, GLX, the mode switch, the capture) shares one
// connection, from the capture before the switch through the intro and the mosaic to the
// teardown that gives the mode back. Sampled at every poll, from the server's list of clients.
TEST_F(FullScreenRun, TheWholeRunUsesOneConnectionToTheServer) {
    storeResolution(settingsIndexOf(800, 600));
    start({"/s", "--ignore-requirements", "--report-fps"}, {{"KELVARA_TRACE_STARTUP", "1"}});
    int most = 0;
    auto sampled = [&](bool condition) {
        most = std::max(most, e2e::xConnectionsOf(run->pid));
        return condition;
    };
    ASSERT_TRUE(waitUntil([&] { return sampled(screenSize() == Size{800, 600}); }, 60));
    ASSERT_TRUE(waitUntil([&] { return sampled(!ended() && framesShown()); }, 60)) << log();
    // After the intro, the mosaic: set up, and some of its frames shown.
    ASSERT_TRUE(waitUntil([&] { return sampled(ended() || logHas("effect set up")); }, 120))
        << log();
    ASSERT_FALSE(ended()) << log();
    const Bitmap mosaic = windowSystem().captureScreen();
    EXPECT_TRUE(
        waitUntil([&] { return sampled(windowSystem().captureScreen().pixels != mosaic.pixels); }));
    ASSERT_FALSE(ended()) << log();
    pressKey();
    EXPECT_TRUE(waitUntil([&] { return sampled(ended()); }, 30)) << log();
    EXPECT_EQ(most, 1);
    EXPECT_TRUE(logHas("mosaic ")) << log();
    EXPECT_FALSE(logHas("mosaic 0.0")) << "the run ended before the mosaic: " << log();
}

TEST_F(FullScreenRun, TerminationGivesTheDesktopBack) {
    storeResolution(settingsIndexOf(800, 600));
    start({"/s", "--ignore-requirements"});
    ASSERT_TRUE(waitUntil([&] { return screenSize() == Size{800, 600}; }, 60));
    run->signal(SIGTERM);
    expectEndsWithTheDesktopBack();
}

TEST_F(FullScreenRun, KilledOrCrashedRunStillGivesTheDesktopBack) {
    for (int signal : {SIGKILL, SIGSEGV}) {
        SCOPED_TRACE(signal);
        startAt800x600();
        run->signal(signal);
        EXPECT_TRUE(waitUntil([&] { return ended(); }, 30));
        EXPECT_TRUE(run->endedBySignal());
        EXPECT_TRUE(waitUntil([&] { return screenSize() == desktop; })) << log();
        EXPECT_TRUE(waitUntil([&] { return !guardianRuns(run->pid); }));
    }
}

TEST_F(FullScreenRun, KilledRunLeavesAModeSomeoneElseSetAlone) {
    startAt800x600();
    setScreenWithXrandr({640, 480});
    ASSERT_TRUE(waitUntil([&] { return screenSize() == Size{640, 480}; }));
    run->signal(SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return ended() && !guardianRuns(run->pid); }, 30));
    EXPECT_EQ(screenSize(), (Size{640, 480}));
    setScreenWithXrandr(desktop);
    EXPECT_TRUE(waitUntil([&] { return screenSize() == desktop; }));
}

// Killed half-way through a switch, or through its own restore, the run leaves the output dark
// or the screen resized: the guardian takes that for the run's doing too and gives the desktop
// its mode back. The program stops itself at each step (a test hook) to be killed there.
TEST_F(FullScreenRun, ARunKilledAtAnyStepOfASwitchStillGivesTheDesktopBack) {
    for (const std::string phase : {"switch", "restore"}) {
        for (const std::string step : {"off", "resized", "set"}) {
            SCOPED_TRACE(phase + ":" + step);
            storeResolution(settingsIndexOf(800, 600));
            start({"/s", "--ignore-requirements"}, {{"KELVARA_TEST_PAUSE", phase + ":" + step}});
            if (phase == "restore") {
                ASSERT_TRUE(waitUntil([&] { return logHas("going on as asked"); }, 60)) << log();
                pressKey();
            }
            // No X request from here until the kill: the stopped run holds the server grabbed.
            ASSERT_TRUE(waitUntil([&] { return ended() || stopped(run->pid); }, 60)) << log();
            ASSERT_FALSE(ended()) << log();
            run->signal(SIGKILL);
            EXPECT_TRUE(waitUntil([&] { return ended() && !guardianRuns(run->pid); }, 30));
            EXPECT_TRUE(outputsLit()) << log();
            EXPECT_EQ(screenSize(), desktop) << log();
            run.reset();
            if (!outputsLit() || screenSize() != desktop) { // for the steps and tests to come
                std::system("xrandr --auto");
                setScreenWithXrandr(desktop);
            }
        }
    }
}

// The guardian lives on after the program, so it must hold none of what the program held or
// inherited (a sleep inhibitor's descriptor from an idle locker keeps the machine awake): also
// where close_range is refused, by an older kernel or a container's filter.
TEST_F(FullScreenRun, TheGuardianKeepsNoneOfTheProgramsDescriptors) {
    const int inherited = 47;
    ASSERT_EQ(dup2(STDIN_FILENO, inherited), inherited); // without close-on-exec
    const std::string refuser = std::string(KELVARA_BINARY_DIR) + "/tests/refuse_close_range";
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "close_range refused" : "close_range allowed");
        storeResolution(settingsIndexOf(800, 600));
        if (refused)
            start({e2e::programPath(), "/s", "--ignore-requirements"}, {}, refuser);
        else
            start({"/s", "--ignore-requirements"});
        ASSERT_TRUE(waitUntil([&] { return ended() || guardianRuns(run->pid); }, 60)) << log();
        ASSERT_FALSE(ended()) << log();
        EXPECT_EQ(descriptorsOf(run->pid).count(inherited), 1u);
        // Once the guardian's start (its libraries' loading opens files) is over.
        const pid_t guardian = guardianOf(run->pid);
        EXPECT_TRUE(waitUntil([&] {
            return descriptorsOf(guardian) == std::set<int>{0, 1, 2, 3};
        })) << testing::PrintToString(descriptorsOf(guardian));
        run->signal(SIGTERM);
        expectEndsWithTheDesktopBack();
    }
    close(inherited);
}

// A guardian that cannot start (here its program file lost its execute permission) is reported
// on standard error, and the run goes on unguarded.
TEST_F(FullScreenRun, AGuardianThatCannotStartIsReportedAndTheRunGoesOn) {
    namespace fs = std::filesystem;
    e2e::TempFolder folder;
    const fs::path program = fs::path(folder.path) / "kelvara";
    fs::copy_file(e2e::programPath(), program);
    fs::create_directories(fs::path(folder.path) / "Tarnwick");
    fs::copy_file(fs::path(e2e::programPath()).parent_path() / "Tarnwick" / "logo.dat",
                  fs::path(folder.path) / "Tarnwick" / "logo.dat");
    storeResolution(settingsIndexOf(800, 600));
    start({"/s", "--ignore-requirements"}, {{"KELVARA_TEST_PAUSE", "switch:begin"}},
          program.string());
    ASSERT_TRUE(waitUntil([&] { return ended() || stopped(run->pid); }, 60)) << log();
    ASSERT_EQ(chmod(program.c_str(), 0644), 0);
    run->signal(SIGCONT);
    EXPECT_TRUE(waitUntil([&] { return logHas("kelvara: no mode guardian runs"); }, 60)) << log();
    EXPECT_TRUE(waitUntil([&] { return screenSize() == Size{800, 600}; }, 60)) << log();
    EXPECT_FALSE(guardianRuns(run->pid));
    run->signal(SIGTERM);
    expectEndsWithTheDesktopBack();
}

TEST_F(FullScreenRun, FailedStartShowsTheLogInTheWarningColourUntilAKey) {
    storeResolution(settingsIndexOf(800, 600));
    start({"/s"});
    ASSERT_TRUE(
        waitUntil([&] { return logHas("Exception: Graphics performance test failed"); }, 60))
        << log();
    // Only the failing figure (in the value column) and the exception line (from the left
    // margin) are in the warning colour.
    EXPECT_TRUE(waitUntil(
        [&] {
            Bitmap screen = windowSystem().captureScreen();
            return warmPixels(screen, 400, 16, 600, 400) > 5 &&
                   warmPixels(screen, 16, 16, 300, 400) > 40;
        },
        20));
    EXPECT_EQ(screenSize(), (Size{800, 600}));
    EXPECT_FALSE(ended());
    pressKey();
    expectEndsWithTheDesktopBack();
}

TEST_F(FullScreenRun, FailedStartEndsByItselfAfterThirtySeconds) {
    start({"/s"});
    ASSERT_TRUE(waitUntil([&] { return logHas("Exception: "); }, 60));
    auto failed = Clock::now();
    EXPECT_TRUE(waitUntil([&] { return ended(); }, 120));
    // Not before its time: a busy machine only makes the wait longer.
    EXPECT_GE(Clock::now() - failed, std::chrono::seconds(25));
    EXPECT_EQ(run->exitStatus(), 0) << log();
}

TEST_F(FullScreenRun, StartedRunShowsChangingFramesWithoutACursorAndEndsOnAClick) {
    start({"/s", "--ignore-requirements"});
    ASSERT_TRUE(waitUntil([&] { return framesShown(); }, 60)) << log();
    Bitmap first = windowSystem().captureScreen();
    EXPECT_TRUE(waitUntil([&] { return windowSystem().captureScreen().pixels != first.pixels; }));
    EXPECT_TRUE(cursorHidden());
    click();
    expectEndsWithTheDesktopBack();
}

// One frame per refresh of the display: the run asks GLX for swap interval 1 through the
// extension the driver offers, EXT's on its drawable first, else MESA's. The driver here is a
// stand-in preloaded into the run that writes the requests down.
TEST_F(FullScreenRun, TheRunAsksForOneFramePerRefreshOfTheDisplay) {
    const std::string recorder =
        std::string(KELVARA_BINARY_DIR) + "/tests/kelvara_swap_interval_recorder.so";
    const char* preloaded = std::getenv("LD_PRELOAD"); // the sanitizers' Mesa driver
    const std::string preload =
        recorder +
        (preloaded != nullptr && preloaded[0] != '\0' ? ":" + std::string(preloaded) : "");
    const std::pair<std::string, std::string> cases[] = {
        {"GLX_EXT_swap_control GLX_MESA_swap_control", "glXSwapIntervalEXT 1\n"},
        {"GLX_MESA_swap_control", "glXSwapIntervalMESA 1\n"},
        {"", ""},
    };
    for (const auto& [offered, asked] : cases) {
        SCOPED_TRACE("offered: " + offered);
        e2e::TempFolder folder;
        const std::string record = folder.path + "/requests";
        start({"/s", "--ignore-requirements"}, {{"LD_PRELOAD", preload},
                                                {"KELVARA_TEST_SWAP_EXTENSIONS", offered},
                                                {"KELVARA_TEST_SWAP_RECORD", record}});
        ASSERT_TRUE(waitUntil([&] { return ended() || framesShown(); }, 60)) << log();
        ASSERT_FALSE(ended()) << log();
        std::ifstream file(record);
        const std::string requests((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
        EXPECT_EQ(requests, asked);
        run->signal(SIGTERM);
        expectEndsWithTheDesktopBack();
    }
}

TEST_F(FullScreenRun, TenMotionsLeaveTheRunGoingAndTheEleventhEndsIt) {
    start({"/s", "--ignore-requirements"});
    ASSERT_TRUE(waitUntil([&] { return framesShown(); }, 60)) << log();
    // One motion per frame: the program reads each before the next comes, so that none can
    // merge with another on the way.
    for (int i = 1; i <= 10; ++i) {
        Bitmap before = windowSystem().captureScreen();
        moveTo(100 + 10 * i, 100 + 5 * i);
        EXPECT_TRUE(
            waitUntil([&] { return windowSystem().captureScreen().pixels != before.pixels; }));
        ASSERT_FALSE(ended()) << "ended on motion " << i;
    }
    Bitmap before = windowSystem().captureScreen();
    EXPECT_TRUE(waitUntil([&] { return windowSystem().captureScreen().pixels != before.pixels; }));
    EXPECT_FALSE(ended());
    moveTo(300, 300);
    expectEndsWithTheDesktopBack();
}

// Broken data files beside the program: each ends the run, gives the display its mode back
// and then shows its message in the error display.
TEST_F(FullScreenRun, BrokenDataFilesEndInTheirMessageWithTheDesktopBack) {
    namespace fs = std::filesystem;
    const fs::path data = fs::path(e2e::programPath()).parent_path() / "Tarnwick";
    std::string logo;
    {
        std::ifstream in(data / "logo.dat", std::ios::binary);
        logo.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(logo.size(), 200u);
    std::string notJpeg = logo;
    const size_t start = notJpeg.find("\xFF\xD8");
    ASSERT_NE(start, std::string::npos);
    notJpeg.replace(start, 2, "P6"); // the first picture now starts as a PPM would

    struct Case {
        const char* name;
        const char* file;
        std::string content;
        const char* message; // a part of it
    };
    const std::vector<Case> cases = {
        {"logo.dat cut short", "logo.dat", logo.substr(0, 200), "Stream read error"},
        {"logo.dat empty", "logo.dat", "", "logo.dat"},
        {"logo.dat with too many entries", "logo.dat", std::string("\x65\0\0\0", 4), "logo.dat"},
        {"logo.dat with a picture that is no JPEG", "logo.dat", notJpeg, ""},
        {"Tarnwick.dat of garbage", "Tarnwick.dat", std::string(5000, '\x7f'), "Tarnwick.dat"},
    };
    e2e::TempFolder folder;
    int number = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const fs::path bin = fs::path(folder.path) / std::to_string(++number);
        fs::create_directories(bin / "Tarnwick");
        fs::copy_file(e2e::programPath(), bin / "kelvara");
        fs::copy_file(data / "logo.dat", bin / "Tarnwick" / "logo.dat");
        std::ofstream(bin / "Tarnwick" / test.file, std::ios::binary | std::ios::trunc)
            << test.content;
        storeResolution(settingsIndexOf(800, 600));
        run.emplace(std::vector<std::string>{"/s", "--ignore-requirements"}, config.environment(),
                    (bin / "kelvara").string());
        const e2e::Window alert = e2e::waitForWindow("Kelvara", 90);
        ASSERT_NE(alert, e2e::noWindow) << log();
        EXPECT_TRUE(waitUntil([&] {
            return logHas(test.message) && !run->standardError().empty();
        })) << log();
        EXPECT_EQ(screenSize(), desktop);
        const std::string focus =
            "xdotool windowfocus --sync " + std::to_string(alert) + " key Return";
        ASSERT_EQ(std::system(focus.c_str()), 0);
        expectEndsWithTheDesktopBack();
        run.reset();
    }
}

} // namespace
