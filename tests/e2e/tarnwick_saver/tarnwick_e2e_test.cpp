// The whole program on the test X server: "/s --ignore-requirements" on a desktop showing the
// demo picture plays the intro, then shows the picture as the mosaic, broken into tiles where
// the wanderer has been, and a key press ends it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
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

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // top row first
};

Screenshot readPpm(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Screenshot shot;
    in >> magic >> shot.width >> shot.height >> maxValue;
    in.get();
    if (magic != "P6" || maxValue != 255 || shot.width <= 0 || shot.height <= 0) {
        throw std::runtime_error("unexpected screenshot format in " + file.string());
    }
    shot.rgb.resize(static_cast<size_t>(shot.width) * shot.height * 3);
    in.read(reinterpret_cast<char*>(shot.rgb.data()),
            static_cast<std::streamsize>(shot.rgb.size()));
    if (!in) {
        throw std::runtime_error("short screenshot " + file.string());
    }
    return shot;
}

// The root window as ImageMagick's import sees it.
Screenshot takeScreenshot(const fs::path& file) {
    const std::string command = "import -window root -depth 8 'ppm:" + file.string() + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("import failed");
    }
    return readPpm(file);
}

// The share of pixels whose channels all lie within 24 levels of the desktop picture.
double shareLikePicture(const Screenshot& shot, const Screenshot& picture) {
    if (shot.rgb.size() != picture.rgb.size()) {
        return 0;
    }
    size_t alike = 0;
    for (size_t p = 0; p < shot.rgb.size(); p += 3) {
        bool close = true;
        for (size_t c = 0; c < 3; ++c) {
            close = close && std::abs(shot.rgb[p + c] - picture.rgb[p + c]) <= 24;
        }
        alike += close;
    }
    return static_cast<double>(alike) / (shot.rgb.size() / 3);
}

class TarnwickRun : public testing::Test {
protected:
    fs::path work;
    pid_t pid = -1;

    void SetUp() override {
        if (!fs::exists(program)) {
            GTEST_SKIP() << program << " is not built";
        }
        work = binaryDir / "tests" / "tarnwick_e2e";
        fs::remove_all(work);
        fs::create_directories(work / "config");
    }
    void TearDown() override {
        if (pid > 0) { // only on failure: the test ends the run itself
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    void start(const std::vector<std::string>& arguments) {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The settings go to a folder of the test's own, never the user's.
            setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
            const std::string out = (work / "kelvara.log").string();
            std::freopen(out.c_str(), "w", stdout);
            std::freopen(out.c_str(), "a", stderr);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : arguments) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    bool running() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

    // Takes screenshots until one meets the condition; fails when the program ends or the time
    // runs out.
    Screenshot waitForScreen(const char* what, std::chrono::seconds limit,
                             const std::function<bool(const Screenshot&)>& condition) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            if (!running()) {
                pid = -1;
                ADD_FAILURE() << "kelvara ended while waiting for " << what;
                return {};
            }
            Screenshot shot = takeScreenshot(work / "poll.ppm");
            if (condition(shot)) {
                return shot;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "timed out waiting for " << what;
        return {};
    }
};

TEST_F(TarnwickRun, AFullScreenRunShowsTheIntroThenBreaksTheDesktopPictureIntoTiles) {
    // The demo picture on the desktop, scaled to the screen. display exits with 1 even when it
    // did its work, so the screen itself is checked instead.
    const Screenshot before = takeScreenshot(work / "before.ppm");
    const fs::path scaled = work / "desktop.png";
    const std::string convert = "convert '" KELVARA_SOURCE_DIR "/data/demo-desktop.jpg' -resize " +
                                std::to_string(before.width) + "x" + std::to_string(before.height) +
                                "! '" + scaled.string() + "'";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    ASSERT_EQ(std::system(("convert '" + scaled.string() +
                           "' -depth 8 'ppm:" + (work / "picture.ppm").string() + "'")
                              .c_str()),
              0);
    const Screenshot picture = readPpm(work / "picture.ppm");
    std::system(("display -window root '" + scaled.string() + "'").c_str());
    const Screenshot desktop = takeScreenshot(work / "desktop.ppm");
    ASSERT_GT(shareLikePicture(desktop, picture), 0.95) << "the desktop does not show the picture";

    const auto started = Clock::now();
    start({"/s", "--ignore-requirements"});
    ASSERT_GT(pid, 0);

    // The intro covers the screen, mostly dark.
    waitForScreen("the intro", std::chrono::seconds(60),
                  [&](const Screenshot& shot) { return shareLikePicture(shot, desktop) < 0.5; });
    ASSERT_FALSE(HasFailure());
    // Then the mosaic: the picture again, nearly all of it in place.
    waitForScreen("the mosaic", std::chrono::seconds(120),
                  [&](const Screenshot& shot) { return shareLikePicture(shot, desktop) > 0.8; });
    ASSERT_FALSE(HasFailure());

    // About 20 s in: the picture is still there, but broken up where the wanderer passed.
    const auto at20s = started + std::chrono::seconds(20);
    if (Clock::now() < at20s) {
        std::this_thread::sleep_until(at20s);
    }
    ASSERT_TRUE(running()) << "kelvara ended before 20 s";
    const Screenshot later = takeScreenshot(work / "mosaic-20s.ppm");
    const double alike = shareLikePicture(later, desktop);
    EXPECT_GT(alike, 0.6);
    EXPECT_LT(alike, 0.995) << "no tile is out of place";

    // A key press ends the run.
    ASSERT_EQ(std::system("xdotool key space"), 0);
    const auto end = Clock::now() + std::chrono::seconds(30);
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(ended, pid) << "kelvara did not end on a key press";
    pid = -1;
    EXPECT_TRUE(WIFEXITED(status)) << "kelvara ended by a signal";
}

} // namespace
