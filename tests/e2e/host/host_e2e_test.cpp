// Kelvara on a real Linux desktop's hosts, on the test X server: run by Debian's XScreenSaver
// (the intro, then the mosaic of the desktop that was there, ended by -deactivate), in a small
// host window that it fills and follows, and started by xss-lock when the server's saver
// activates.
#include "e2e.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using e2e::Picture;
using e2e::waitUntil;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double wallClockMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Processes that run this exact program file, found by their executable; a zombie counts as
// gone.
std::vector<pid_t> processesOf(const std::string& program) {
    std::vector<pid_t> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code error;
        if (fs::read_symlink(entry.path() / "exe", error) != fs::path(program) || error)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string pid, command, state;
        stat >> pid >> command >> state;
        if (state != "Z")
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

bool alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string id, command, state;
    return static_cast<bool>(stat >> id >> command >> state) && state != "Z";
}

int run(const std::string& command) {
    return std::system(command.c_str());
}

// The share of bright pixels: the intro's logo and beams on black, unlike a blank screen.
double brightShare(const Picture& shot) {
    size_t bright = 0;
    for (size_t p = 0; p < shot.rgb.size(); p += 3)
        bright += shot.rgb[p] + shot.rgb[p + 1] + shot.rgb[p + 2] > 150;
    return static_cast<double>(bright) / static_cast<double>(shot.rgb.size() / 3);
}

// The picture scaled to width x height by averaging boxes.
Picture scaled(const Picture& picture, int width, int height) {
    Picture out{width, height, std::vector<unsigned char>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int x0 = x * picture.width / width, x1 = (x + 1) * picture.width / width;
            const int y0 = y * picture.height / height, y1 = (y + 1) * picture.height / height;
            for (int c = 0; c < 3; ++c) {
                long sum = 0, count = 0;
                for (int sy = y0; sy < y1; ++sy)
                    for (int sx = x0; sx < x1; ++sx, ++count)
                        sum += picture.at(sx, sy)[c];
                out.rgb[(static_cast<size_t>(y) * width + x) * 3 + c] =
                    static_cast<unsigned char>(count ? sum / count : 0);
            }
        }
    }
    return out;
}

// A window's pixels as a Picture.
Picture windowPicture(e2e::Window window, int width, int height) {
    Picture out{width, height, {}};
    for (uint32_t p : e2e::readPixels(window, 0, 0, width, height)) {
        out.rgb.push_back(static_cast<unsigned char>(p >> 16));
        out.rgb.push_back(static_cast<unsigned char>(p >> 8));
        out.rgb.push_back(static_cast<unsigned char>(p));
    }
    return out;
}

// The one child window that the run draws through, inside the host window.
e2e::Geometry drawnChild(e2e::Window host) {
    Window root = None, parent = None, *children = nullptr;
    unsigned count = 0;
    e2e::Geometry geometry;
    if (XQueryTree(e2e::display(), host, &root, &parent, &children, &count) && count == 1)
        geometry = e2e::windowGeometry(children[0]);
    if (children)
        XFree(children);
    return geometry;
}

class HostRun : public testing::Test {
protected:
    fs::path work;
    e2e::ConfigHome config;

    void SetUp() override {
        if (!fs::exists(e2e::programPath()))
            GTEST_SKIP() << e2e::programPath() << " is not built";
        work = fs::path(KELVARA_BINARY_DIR) / "tests" / "host_e2e";
        fs::remove_all(work);
        fs::create_directories(work);
    }
};

// XScreenSaver as a user runs it. It will not start savers as root, so as root the test runs it
// as a user of its own, made on first use and let onto the X server; otherwise as the test's
// own user with a home of its own.
class XScreenSaverRun : public HostRun {
protected:
    static constexpr const char* userName = "kelvara-e2e";
    e2e::TempFolder installed;
    e2e::TempFolder ownHome;
    std::string home;
    std::string hack;    // the link XScreenSaver runs
    std::string program; // the file it leads to
    std::optional<e2e::Program> saver;

    void SetUp() override {
        HostRun::SetUp();
        if (IsSkipped())
            return;
        for (const char* tool : {"/usr/bin/xscreensaver", "/usr/bin/xscreensaver-command"})
            if (!fs::exists(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
        uid_t uid = getuid();
        gid_t gid = getgid();
        home = ownHome.path;
        if (geteuid() == 0) {
            if (getpwnam(userName) == nullptr) {
                ASSERT_EQ(run(std::string("useradd --create-home --shell /bin/sh ") + userName), 0);
            }
            const passwd* user = getpwnam(userName);
            ASSERT_NE(user, nullptr);
            uid = user->pw_uid;
            gid = user->pw_gid;
            home = user->pw_dir;
            ASSERT_EQ(run(std::string("xhost +SI:localuser:") + userName + " >/dev/null"), 0);
        }
        // Installed as a user installs it, into a prefix that user can read (the build may sit
        // in a home it cannot enter); XScreenSaver runs the link in the hacks folder.
        const std::string prefix = fs::canonical(installed.path).string();
        ASSERT_EQ(
            run("cmake --install '" KELVARA_BINARY_DIR "' --prefix '" + prefix + "' >/dev/null"),
            0);
        ASSERT_TRUE(fs::exists(prefix + "/share/xscreensaver/config/kelvara.xml"));
        hack = prefix + "/libexec/xscreensaver/kelvara";
        program = fs::canonical(hack);
        ASSERT_EQ(chmod(installed.path.c_str(), 0755), 0);
        ASSERT_EQ(run("chmod -R a+rX '" + prefix + "'"), 0);

        // Kelvara as the only saver, on at once, no lock, no fading, the desktop grabbed.
        const std::string settings = home + "/.xscreensaver";
        std::ofstream(settings) << "mode: one\nselected: 0\nlock: False\nfade: False\n"
                                   "unfade: False\nsplash: False\ngrabDesktopImages: True\n"
                                   "programs: GL: \"Kelvara\" "
                                << hack << " --root \\n\n";
        ASSERT_EQ(chown(settings.c_str(), uid, gid), 0);

        // Its savers inherit its environment: the trace gives the time of the first frame.
        const std::string display = std::getenv("DISPLAY");
        std::vector<std::string> command = {"env",
                                            "HOME=" + home,
                                            "DISPLAY=" + display,
                                            "KELVARA_TRACE_STARTUP=1",
                                            "xscreensaver",
                                            "-no-splash",
                                            "-verbose"};
        if (geteuid() == 0) {
            command.insert(command.begin(), {"--reuid=" + std::string(userName),
                                             "--regid=" + std::string(userName), "--init-groups"});
            saver.emplace(command, e2e::Environment{}, "/usr/bin/setpriv");
        } else {
            saver.emplace(std::vector<std::string>(command.begin() + 1, command.end()),
                          e2e::Environment{}, "/usr/bin/env");
        }
        ASSERT_TRUE(waitUntil([&] { return !saver->running() || hostCommand("-version"); }, 30));
        ASSERT_TRUE(saver->running()) << log();
    }

    void TearDown() override {
        if (saver && saver->running()) {
            hostCommand("-exit");
            if (!saver->waitForExit(10))
                saver->signal(SIGTERM);
            saver->waitForExit(10);
        }
        for (pid_t pid : processesOf(program))
            kill(pid, SIGKILL); // only on failure: a saver of this test's own copy
    }

    // xscreensaver-command, as any client of the display may use it.
    bool hostCommand(const std::string& what) {
        return run("xscreensaver-command " + what + " >/dev/null 2>&1") == 0;
    }
    std::string log() { return saver->standardOutput() + saver->standardError(); }
};

TEST_F(XScreenSaverRun, ActivateShowsTheIntroThenTheMosaicOfTheDesktopAndDeactivateEndsIt) {
    const Picture picture = e2e::showOnRoot(KELVARA_SOURCE_DIR "/data/demo-desktop.jpg", work);
    const Picture desktop = e2e::takeScreenshot(work / "desktop.ppm");
    ASSERT_GT(e2e::shareAlike(desktop, picture), 0.95) << "the desktop does not show the picture";

    const double activatedAt = wallClockMs();
    const auto activated = Clock::now();
    ASSERT_TRUE(hostCommand("-activate"));
    std::vector<pid_t> kelvara;
    ASSERT_TRUE(waitUntil([&] { return (kelvara = processesOf(program)).size() == 1; }, 30))
        << log();

    // The intro: dark, unlike the desktop, with the logo lit; then the mosaic, the desktop's
    // picture nearly all in place.
    ASSERT_TRUE(e2e::waitForScreen(
        *saver, work / "poll.ppm", "the intro",
        [&](const Picture& shot) {
            return e2e::shareAlike(shot, desktop) < 0.5 && brightShare(shot) > 0.01;
        },
        60));
    const double introSeen = millisecondsSince(activated);
    // For the picture: the logo well lit, seconds later.
    EXPECT_TRUE(e2e::waitForScreen(
        *saver, work / "poll.ppm", "the logo",
        [&](const Picture& shot) {
            return e2e::shareAlike(shot, desktop) < 0.5 && brightShare(shot) > 0.08;
        },
        30));
    const std::string introShot = e2e::screenshot("xscreensaver-intro");
    ASSERT_TRUE(e2e::waitForScreen(
        *saver, work / "poll.ppm", "the mosaic",
        [&](const Picture& shot) { return e2e::shareAlike(shot, desktop) > 0.8; }, 120));
    const std::string mosaicShot = e2e::screenshot("xscreensaver-mosaic");
    ASSERT_EQ(processesOf(program), kelvara) << "one run, from the intro to the mosaic";

    // -deactivate ends it: the host's SIGTERM, and the process is gone within a second.
    const auto deactivated = Clock::now();
    ASSERT_TRUE(hostCommand("-deactivate"));
    EXPECT_TRUE(waitUntil([&] { return !alive(kelvara[0]); }, 1.0)) << log();
    const double exitMs = millisecondsSince(deactivated);

    // The first frame, from the run's own trace (its standard error is the host's).
    double firstFrameMs = -1;
    const std::string text = log();
    const size_t at = text.find(" first frame presented");
    if (at != std::string::npos) {
        const size_t start = text.rfind("kelvara-trace ", at);
        if (start != std::string::npos)
            firstFrameMs = std::stod(text.substr(start + 14, at - start - 14)) - activatedAt;
    }
    std::printf("xscreensaver: -activate to first frame %.0f ms (intro seen on screen after "
                "%.0f ms); -deactivate to exit %.0f ms\nscreenshots: %s %s\n",
                firstFrameMs, introSeen, exitMs, introShot.c_str(), mosaicShot.c_str());
    EXPECT_GT(firstFrameMs, 0) << "no first frame in the trace:\n" << text;
    EXPECT_NE(text.find("for window"), std::string::npos) << "XScreenSaver kept no screenshot";
}

TEST_F(HostRun, AWindowOf400x300GetsTheWholeRunScaledIntoItAndFollowsItsSize) {
    e2e::showOnRoot(KELVARA_SOURCE_DIR "/data/demo-desktop.jpg", work);
    e2e::HostWindow host(400, 300);
    // No host picture here: the run captures the screen as it is, host window and all.
    const Picture screen = e2e::takeScreenshot(work / "desktop.ppm");
    const Picture expected = scaled(screen, 400, 300);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", host.window);
    auto environment = config.environment();
    environment.emplace_back("XSCREENSAVER_WINDOW", id);
    e2e::Program kelvara({"-root", "-fps"}, environment);

    auto inWindow = [&](const std::function<bool(const Picture&)>& condition, double seconds) {
        return waitUntil(
                   [&] {
                       return !kelvara.running() || condition(windowPicture(host.window, 400, 300));
                   },
                   seconds) &&
               kelvara.running();
    };
    ASSERT_TRUE(inWindow([](const Picture& p) { return brightShare(p) > 0.01; }, 60))
        << "no intro in the window\n"
        << kelvara.standardError();
    ASSERT_TRUE(inWindow([&](const Picture& p) { return e2e::shareAlike(p, expected) > 0.7; }, 120))
        << "no mosaic of the screen in the window\n"
        << kelvara.standardError();
    e2e::screenshot("host-window-400x300");
    // Only the window: the rest of the screen stays as it was.
    const Picture after = e2e::takeScreenshot(work / "after.ppm");
    size_t alike = 0, outside = 0;
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            if (x < 400 && y < 300)
                continue;
            ++outside;
            bool same = true;
            for (int c = 0; c < 3; ++c)
                same = same && std::abs(screen.at(x, y)[c] - after.at(x, y)[c]) <= 24;
            alike += same;
        }
    }
    EXPECT_GT(static_cast<double>(alike) / static_cast<double>(outside), 0.99);

    // The host makes its window larger: the drawing follows.
    XResizeWindow(e2e::display(), host.window, 600, 450);
    XSync(e2e::display(), False);
    EXPECT_TRUE(waitUntil([&] {
        const e2e::Geometry g = drawnChild(host.window);
        return g.width == 600 && g.height == 450;
    })) << kelvara.standardError();
    EXPECT_TRUE(waitUntil([&] {
        const std::vector<uint32_t> corner = e2e::readPixels(host.window, 500, 350, 100, 100);
        size_t lit = 0;
        for (uint32_t p : corner)
            lit += p != 0;
        return lit > corner.size() / 2;
    })) << "the new part of the window stays empty";

    // The host destroys its window: the run ends by itself, cleanly.
    XDestroyWindow(e2e::display(), host.window);
    XSync(e2e::display(), False);
    host.window = XCreateSimpleWindow(e2e::display(), DefaultRootWindow(e2e::display()), 0, 0, 1, 1,
                                      0, 0, 0); // for the helper's own teardown
    ASSERT_TRUE(kelvara.waitForExit(10)) << kelvara.standardError();
    EXPECT_EQ(kelvara.exitStatus(), 0) << kelvara.standardError();
}

TEST_F(HostRun, BadHostWindowsEndTheRunWithAClearMessage) {
    struct Case {
        std::vector<std::string> arguments;
        std::string variable;
        std::string message;
    };
    const Case cases[] = {
        {{"--window-id", "0x3ffffff"}, "", "There is no X window 0x3ffffff on this display"},
        {{"-window-id", "junk"}, "", "'junk' is not a valid window id"},
        {{"--root"}, "0x", "XSCREENSAVER_WINDOW: '0x' is not a valid window id"},
    };
    for (const Case& c : cases) {
        auto environment = config.environment();
        environment.emplace_back("XSCREENSAVER_WINDOW", c.variable);
        e2e::Program kelvara(c.arguments, environment);
        ASSERT_TRUE(kelvara.waitForExit(30));
        EXPECT_EQ(kelvara.exitStatus(), 1);
        EXPECT_FALSE(kelvara.endedBySignal());
        EXPECT_EQ(kelvara.standardError(), "kelvara: " + c.message + "\n");
    }
}

// Without XScreenSaver, --root draws behind every other window, in a window of its own that
// covers the screen; the SIGTERM a host sends ends it at once and cleanly, also in the middle
// of the start-up's one-second clock measurement, which would otherwise run to its end.
TEST_F(HostRun, RootAloneDrawsBehindOtherWindowsAndEndsAtOnceOnTermination) {
    // Black, so that only the intro brings bright pixels.
    Display* display = e2e::display();
    XSetWindowBackground(display, DefaultRootWindow(display),
                         BlackPixel(display, DefaultScreen(display)));
    XClearWindow(display, DefaultRootWindow(display));
    e2e::HostWindow front(200, 150, 0x00FF00);
    auto environment = config.environment();
    environment.emplace_back("XSCREENSAVER_WINDOW", "");
    environment.emplace_back("KELVARA_TRACE_STARTUP", "1");
    {
        e2e::Program kelvara({"--root"}, environment);
        ASSERT_TRUE(waitUntil([&] {
            return !kelvara.running() ||
                   kelvara.standardError().find("clock measurement begins") != std::string::npos;
        })) << kelvara.standardError();
        kelvara.signal(SIGTERM);
        ASSERT_TRUE(kelvara.waitForExit(30));
        EXPECT_EQ(kelvara.exitStatus(), 0) << kelvara.standardError();
        EXPECT_FALSE(kelvara.endedBySignal());
        EXPECT_EQ(kelvara.standardError().find("clock measurement ends"), std::string::npos)
            << kelvara.standardError();
    }
    e2e::Program kelvara({"--root"}, environment);
    // The intro's bright logo below the window in front, which stays green.
    ASSERT_TRUE(e2e::waitForScreen(
        kelvara, work / "root.ppm", "the intro behind the window", [](const Picture& shot) {
            const unsigned char* inFront = shot.at(100, 75);
            const unsigned char* centre = shot.at(shot.width / 2, shot.height / 2);
            return centre[0] + centre[1] + centre[2] > 450 && inFront[0] < 40 && inFront[1] > 200 &&
                   inFront[2] < 40;
        }));
    const e2e::Window standIn = e2e::findWindow("Kelvara");
    ASSERT_NE(standIn, e2e::noWindow);
    const e2e::Geometry g = e2e::windowGeometry(standIn);
    EXPECT_EQ(g.width, e2e::displayWidth());
    EXPECT_EQ(g.height, e2e::displayHeight());
    kelvara.signal(SIGTERM);
    ASSERT_TRUE(kelvara.waitForExit(30));
    EXPECT_EQ(kelvara.exitStatus(), 0) << kelvara.standardError();
    EXPECT_TRUE(e2e::waitForWindowGone("Kelvara"));
}

// xss-lock runs its locker when the server's screen saver activates; Kelvara's own full-screen
// run is that locker here, and ends on a key as always. (Without a login manager on the system
// bus, as on a test machine, xss-lock may end itself right after starting the locker.)
TEST_F(HostRun, XssLockStartsTheStandaloneRunOnActivationAndAKeyEndsIt) {
    if (!fs::exists("/usr/bin/xss-lock"))
        GTEST_SKIP() << "xss-lock is not installed (scripts/install-deps installs it)";
    const std::string program = fs::canonical(e2e::programPath());
    e2e::Program locker({"--", program, "/s", "--ignore-requirements"}, config.environment(),
                        "/usr/bin/xss-lock");
    // xss-lock tells no one when it listens: activate now and then until its locker shows.
    e2e::Window form = e2e::noWindow;
    auto lastActivation = Clock::now() - std::chrono::seconds(1);
    ASSERT_TRUE(waitUntil(
        [&] {
            if (processesOf(program).empty() &&
                Clock::now() - lastActivation > std::chrono::milliseconds(500)) {
                run("xset s activate");
                lastActivation = Clock::now();
            }
            form = e2e::findWindow("Kelvara, ", e2e::Title::prefix);
            return form != e2e::noWindow;
        },
        60))
        << locker.standardError();
    const std::vector<pid_t> kelvara = processesOf(program);
    ASSERT_EQ(kelvara.size(), 1u);
    // The run itself, not only its window: the intro plays.
    EXPECT_TRUE(waitUntil(
        [&] {
            return !alive(kelvara[0]) || brightShare(e2e::takeScreenshot(work / "poll.ppm")) > 0.01;
        },
        60));
    ASSERT_TRUE(alive(kelvara[0]));
    run("xdotool search --name '^Kelvara, ' windowfocus --sync 2>/dev/null");
    e2e::pressKey("space");
    EXPECT_TRUE(waitUntil([&] { return !alive(kelvara[0]); }, 30));
    EXPECT_TRUE(e2e::waitForWindowGone("Kelvara, ", 10, e2e::Title::prefix));
    run("xset s reset");
}

} // namespace
