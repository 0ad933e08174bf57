// Kelvara on a real Linux desktop's hosts, on the test X server: run by Debian's XScreenSaver
// (the intro, then the mosaic of the desktop that was there, ended by -deactivate), in a small
// host window that it fills and follows, and started by xss-lock when the server's saver
// activates.
#include "e2e.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <pwd.h>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
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
// own user with a home of its own. Kelvara is the only saver, on at once, with no lock and no
// fading; the image settings are the test's.
class XScreenSaverRun : public HostRun {
protected:
    static constexpr const char* userName = "kelvara-e2e";
    e2e::TempFolder installed;
    e2e::TempFolder ownHome;
    uid_t uid = getuid();
    gid_t gid = getgid();
    std::string home;
    std::string hack;    // the program as the programs: line names it
    std::string program; // the file it leads to
    std::optional<e2e::Program> saver;

    // Kelvara as the package installs it, run by its plain name from XScreenSaver's own folder
    // of savers; else installed from this build, as a user installs it.
    virtual bool fromPackage() const { return false; }

    void SetUp() override {
        HostRun::SetUp();
        if (IsSkipped())
            return;
        for (const char* tool : {"/usr/bin/xscreensaver", "/usr/bin/xscreensaver-command"})
            if (!fs::exists(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
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
        if (fromPackage()) {
            hack = "kelvara";
            program = fs::canonical("/usr/libexec/xscreensaver/kelvara");
        } else {
            // Into a prefix that user can read (the build may sit in a home it cannot enter);
            // XScreenSaver runs the link in the hacks folder.
            const std::string prefix = fs::canonical(installed.path).string();
            ASSERT_EQ(run("cmake --install '" KELVARA_BINARY_DIR "' --prefix '" + prefix +
                          "' >/dev/null"),
                      0);
            ASSERT_TRUE(fs::exists(prefix + "/share/xscreensaver/config/kelvara.xml"));
            hack = prefix + "/libexec/xscreensaver/kelvara";
            program = fs::canonical(hack);
            ASSERT_EQ(chmod(installed.path.c_str(), 0755), 0);
            ASSERT_EQ(run("chmod -R a+rX '" + prefix + "'"), 0);
        }
        writeSettings("grabDesktopImages: True\n");

        // Its savers inherit its environment: the trace gives the time of the first frame.
        saver.emplace(asUser({"xscreensaver", "-no-splash", "-verbose"}), e2e::Environment{},
                      userRunner());
        ASSERT_TRUE(waitUntil([&] { return !saver->running() || hostCommand("-version"); }, 30));
        ASSERT_TRUE(saver->running()) << log();
    }

    void TearDown() override {
        if (saver && saver->running()) {
            hostCommand("-exit");
            if (!saver->waitForExit())
                saver->signal(SIGTERM);
            saver->waitForExit();
        }
        for (pid_t pid : processesOf(program))
            kill(pid, SIGKILL); // only on failure: a saver of this test's own copy
    }

    // A program run as the user, with the display and the trace: its arguments after
    // userRunner().
    std::vector<std::string> asUser(const std::vector<std::string>& command) const {
        std::vector<std::string> line = {"HOME=" + home,
                                         "DISPLAY=" + std::string(std::getenv("DISPLAY")),
                                         "KELVARA_TRACE_STARTUP=1"};
        line.insert(line.end(), command.begin(), command.end());
        if (geteuid() == 0)
            line.insert(line.begin(), {"--reuid=" + std::string(userName),
                                       "--regid=" + std::string(userName), "--init-groups", "env"});
        return line;
    }
    static std::string userRunner() { return geteuid() == 0 ? "/usr/bin/setpriv" : "/usr/bin/env"; }
    // ~/.xscreensaver: Kelvara alone, and the image settings given. XScreenSaver reads it again
    // when it changes, and Kelvara at each start.
    void writeSettings(const std::string& imageSettings) {
        const std::string settings = home + "/.xscreensaver";
        std::ofstream(settings) << "mode: one\nselected: 0\nlock: False\nfade: False\n"
                                   "unfade: False\nsplash: False\n"
                                << imageSettings << "programs: GL: " << hack << " --root \\n\n";
        ASSERT_EQ(chown(settings.c_str(), uid, gid), 0);
    }
    // xscreensaver-command, as any client of the display may use it.
    bool hostCommand(const std::string& what) {
        return run("xscreensaver-command " + what + " >/dev/null 2>&1") == 0;
    }
    std::string log() { return saver->standardOutput() + saver->standardError(); }

    // -activate, and the one Kelvara that XScreenSaver starts for the one monitor.
    pid_t activate() {
        EXPECT_TRUE(hostCommand("-activate"));
        std::vector<pid_t> kelvara;
        EXPECT_TRUE(waitUntil([&] { return (kelvara = processesOf(program)).size() == 1; }, 30))
            << log();
        return kelvara.empty() ? -1 : kelvara[0];
    }
    // -deactivate: the host's SIGTERM, and the process gone. How long that took is printed and
    // returned: a busy machine may take seconds, which is no fault of the run.
    double deactivate(pid_t kelvara) {
        const auto asked = Clock::now();
        EXPECT_TRUE(hostCommand("-deactivate"));
        EXPECT_TRUE(waitUntil([&] { return !alive(kelvara); })) << log();
        const double took = millisecondsSince(asked);
        std::printf("xscreensaver: -deactivate to exit %.0f ms\n", took);
        return took;
    }
};

TEST_F(XScreenSaverRun, ActivateShowsTheIntroThenTheMosaicOfTheDesktopAndDeactivateEndsIt) {
    const Picture picture = e2e::showOnRoot(KELVARA_SOURCE_DIR "/data/demo-desktop.jpg", work);
    const Picture desktop = e2e::takeScreenshot(work / "desktop.ppm");
    ASSERT_GT(e2e::shareAlike(desktop, picture), 0.95) << "the desktop does not show the picture";

    const double activatedAt = wallClockMs();
    const auto activated = Clock::now();
    const pid_t kelvara = activate();
    ASSERT_GT(kelvara, 0);

    // The intro: dark, unlike the desktop, with the logo lit; then the mosaic, the desktop's
    // picture nearly all in place.
    ASSERT_TRUE(e2e::waitForScreen(
        *saver, work / "poll.ppm", "the intro",
        [&](const Picture& shot) {
            return e2e::shareAlike(shot, desktop) < 0.5 && brightShare(shot) > 0.01;
        },
        60));
    const double introSeen = millisecondsSince(activated);
    // For the picture only: the logo well lit, seconds later. That moment passes, and on a busy
    // machine it may pass between two screenshots; the picture is then of whatever came.
    const testing::AssertionResult logo = e2e::waitForScreen(
        *saver, work / "poll.ppm", "the logo",
        [&](const Picture& shot) {
            return e2e::shareAlike(shot, desktop) < 0.5 && brightShare(shot) > 0.08;
        },
        30);
    if (!logo)
        std::printf("xscreensaver: the well-lit logo was not caught on a screenshot\n");
    const std::string introShot = e2e::screenshot("xscreensaver-intro");
    ASSERT_TRUE(e2e::waitForScreen(
        *saver, work / "poll.ppm", "the mosaic",
        [&](const Picture& shot) { return e2e::shareAlike(shot, desktop) > 0.8; }, 120));
    const std::string mosaicShot = e2e::screenshot("xscreensaver-mosaic");
    ASSERT_EQ(processesOf(program), std::vector<pid_t>{kelvara})
        << "one run, from the intro to the mosaic";

    const double exitMs = deactivate(kelvara);

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

size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// How many 32 x 32 blocks of the screenshot show the other picture: nine in ten of their pixels
// alike. A colour that happens to match here and there fills no block; any part of the other
// picture does.
int blocksShowing(const Picture& shot, const Picture& other) {
    if (shot.width != other.width || shot.height != other.height)
        return 0;
    constexpr int side = 32;
    int blocks = 0;
    for (int top = 0; top + side <= shot.height; top += side) {
        for (int left = 0; left + side <= shot.width; left += side) {
            int alike = 0;
            for (int y = top; y < top + side; ++y) {
                for (int x = left; x < left + side; ++x) {
                    bool same = true;
                    for (int c = 0; c < 3; ++c)
                        same = same && std::abs(shot.at(x, y)[c] - other.at(x, y)[c]) <= 24;
                    alike += same;
                }
            }
            blocks += alike * 10 >= side * side * 9;
        }
    }
    return blocks;
}

double meanLevel(const Picture& shot) {
    double sum = 0;
    for (unsigned char level : shot.rgb)
        sum += level;
    return shot.rgb.empty() ? 0 : sum / static_cast<double>(shot.rgb.size());
}

// With grabbing on, the test above. With it off the user's screen never shows, not even in
// part: a plain picture, or a picture from the folder of their settings. The desktop here is
// red to yellow, colours that neither the plain picture nor the folder's has in any one place.
TEST_F(XScreenSaverRun, WithGrabbingOffTheScreenNeverShowsAndAPictureOfTheirFolderMakesTheMosaic) {
    const std::string colours = (work / "colours.png").string();
    ASSERT_EQ(run("convert -size 800x600 gradient:red-yellow '" + colours + "'"), 0);
    e2e::showOnRoot(colours, work);
    const Picture desktop = e2e::takeScreenshot(work / "desktop.ppm");
    int mostBlocks = 0;
    auto watching = [&](const std::function<bool(const Picture&)>& done) {
        return [&, done](const Picture& shot) {
            mostBlocks = std::max(mostBlocks, blocksShowing(shot, desktop));
            return done(shot);
        };
    };

    // Neither the screen nor pictures: every screenshot from the activation until the mosaic
    // has run a while.
    writeSettings("grabDesktopImages: False\nchooseRandomImages: False\n");
    const size_t effectsBefore = occurrences(log(), "effect set up");
    pid_t kelvara = activate();
    ASSERT_GT(kelvara, 0);
    int mosaicShots = 0;
    double level = 0;
    ASSERT_TRUE(e2e::waitForScreen(*saver, work / "poll.ppm", "ten screenshots of the mosaic",
                                   watching([&](const Picture& shot) {
                                       level = meanLevel(shot);
                                       mosaicShots +=
                                           occurrences(log(), "effect set up") > effectsBefore;
                                       return mosaicShots >= 10;
                                   }),
                                   180));
    EXPECT_GT(level, 20) << "no mosaic";
    const std::string plainShot = e2e::screenshot("xscreensaver-grabbing-off");
    deactivate(kelvara);

    // A picture of ours, alone in a folder below the home, named as the settings write it.
    const std::string pictures = home + "/pictures";
    fs::remove_all(pictures); // the test user's home outlives the test
    fs::create_directories(pictures);
    fs::copy_file(KELVARA_SOURCE_DIR "/data/demo-desktop.jpg", pictures + "/holiday.jpg",
                  fs::copy_options::overwrite_existing);
    ASSERT_EQ(run("chown -R " + std::to_string(uid) + " '" + pictures + "'"), 0);
    const std::string scaled = (work / "holiday.ppm").string();
    ASSERT_EQ(run("convert '" + pictures + "/holiday.jpg' -resize " +
                  std::to_string(desktop.width) + "x" + std::to_string(desktop.height) +
                  "! -depth 8 'ppm:" + scaled + "'"),
              0);
    const Picture holiday = e2e::readPpm(scaled);
    writeSettings("grabDesktopImages: False\nchooseRandomImages: True\n"
                  "imageDirectory: ~/pictures\n");
    kelvara = activate();
    ASSERT_GT(kelvara, 0);
    ASSERT_TRUE(e2e::waitForScreen(
        *saver, work / "poll.ppm", "the mosaic of the folder's picture",
        watching([&](const Picture& shot) { return e2e::shareAlike(shot, holiday) > 0.8; }), 180));
    const std::string folderShot = e2e::screenshot("xscreensaver-image-folder");
    deactivate(kelvara);
    EXPECT_EQ(mostBlocks, 0) << "part of the desktop showed";
    std::printf("screenshots: %s %s\n", plainShot.c_str(), folderShot.c_str());
}

// The Debian package as installed by apt: scripts/test installs it where the machine may be
// changed at will (KELVARA_DISPOSABLE_ROOT=1), runs this, and removes it again.
class InstalledPackage : public XScreenSaverRun {
protected:
    bool fromPackage() const override { return true; }
    void SetUp() override {
        if (run("dpkg-query -W -f='${Status}' kelvara 2>/dev/null | grep -q 'ok installed'") != 0)
            GTEST_SKIP() << "the kelvara package is not installed";
        XScreenSaverRun::SetUp();
    }
};

TEST_F(InstalledPackage, XScreenSaverRunsItFromThePlainProgramsLineAndItsSettingsShowIt) {
    const pid_t kelvara = activate();
    ASSERT_GT(kelvara, 0);
    EXPECT_TRUE(e2e::waitForScreen(
        *saver, work / "poll.ppm", "the intro",
        [&](const Picture& shot) { return brightShare(shot) > 0.01; }, 60));
    deactivate(kelvara);

    // The settings read its description (and start its preview); --debug names the file.
    e2e::Program settings(asUser({"xscreensaver-settings", "--debug"}), e2e::Environment{},
                          userRunner());
    const std::string description = "reading /usr/share/xscreensaver/config/kelvara.xml";
    EXPECT_TRUE(waitUntil(
        [&] {
            return !settings.running() ||
                   settings.standardError().find(description) != std::string::npos;
        },
        60))
        << settings.standardError();
    EXPECT_TRUE(settings.running()) << settings.standardError();
    const std::string text = settings.standardError();
    for (size_t at = text.find("WARNING"); at != std::string::npos;
         at = text.find("WARNING", at + 1))
        EXPECT_EQ(text.substr(at, text.find('\n', at) - at).find("kelvara"), std::string::npos)
            << text;
    settings.signal(SIGTERM);
    EXPECT_TRUE(settings.waitForExit());
}

TEST_F(HostRun, AWindowOf400x300GetsTheWholeRunScaledIntoItAndFollowsItsSize) {
    e2e::showOnRoot(KELVARA_SOURCE_DIR "/data/demo-desktop.jpg", work);
    e2e::HostWindow host(400, 300);
    // No host picture here: the run captures the screen as it is, host window and all.
    const Picture screen = e2e::takeScreenshot(work / "desktop.ppm");
    const Picture expected = scaled(screen, 400, 300);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", host.window);
    e2e::Program kelvara({"-window-id", id, "-fps"}, config.environment());

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
    ASSERT_TRUE(kelvara.waitForExit()) << kelvara.standardError();
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

// The System V shared-memory segments that these processes created and that are still there, as
// ipcs -m lists them. Other programs on the machine come and go with segments of their own:
// only the creators count.
std::vector<std::string> segmentsCreatedBy(const std::set<pid_t>& creators) {
    std::vector<std::string> left;
    std::ifstream table("/proc/sysvipc/shm");
    std::string line;
    std::getline(table, line); // the column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string key, id, perms, size;
        pid_t creator = 0;
        if (fields >> key >> id >> perms >> size >> creator && creators.count(creator))
            left.push_back(line);
    }
    return left;
}

// A host ends its savers at any moment; the capture's segment must not outlive them.
TEST_F(HostRun, RunsEndedBySigtermAtRandomMomentsOfTheirFirstSecondLeaveNoSharedMemory) {
    e2e::HostWindow host(320, 240);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", host.window);
    std::mt19937 random(std::random_device{}());
    std::set<pid_t> runs;
    for (int i = 0; i < 20; ++i) {
        e2e::Program kelvara({"--window-id", id}, config.environment());
        runs.insert(kelvara.pid);
        // The moment is what this test varies: a wait for a condition would pick it.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 999)(random)));
        kelvara.signal(SIGTERM);
        ASSERT_TRUE(kelvara.waitForExit()) << kelvara.standardError();
    }
    // A removed segment stays listed until the X server has let go of it too, a moment after
    // the run has ended.
    const auto ended = Clock::now();
    EXPECT_TRUE(waitUntil([&] { return segmentsCreatedBy(runs).empty(); }))
        << testing::PrintToString(segmentsCreatedBy(runs));
    std::printf("shared memory: the last segment gone %.0f ms after the last run\n",
                millisecondsSince(ended));
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
    EXPECT_TRUE(e2e::waitForWindowGone("Kelvara, ", e2e::defaultTimeout, e2e::Title::prefix));
    run("xset s reset");
}

} // namespace
