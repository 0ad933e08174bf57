// The intro in the whole program on the test X server: "/s --ignore-requirements" reveals the
// logo from left to right and then goes on to the effect; a broken "logo.dat" is reported once
// and ends the run.
#include "e2e.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using e2e::Picture;

// Where a point of the logo plane (z = 0) appears: the intro's camera at (0, -0.2, 1.5) looking
// at the origin, under a 50 degree perspective of the screen's aspect.
std::pair<int, int> onScreen(const Picture& shot, double x, double y) {
    const double ex = 0, ey = -0.2, ez = 1.5;
    const double fl = std::sqrt(ey * ey + ez * ez);
    const double fy = -ey / fl, fz = -ez / fl; // forward, toward the origin
    const double ux = 0, uy = -fz, uz = fy;    // up, perpendicular to it
    const double dx = x - ex, dy = y - ey, dz = 0 - ez;
    const double depth = dy * fy + dz * fz;
    const double right = dx; // the side axis is +x
    const double up = dx * ux + dy * uy + dz * uz;
    const double t = std::tan(25 * M_PI / 180);
    const double aspect = static_cast<double>(shot.width) / shot.height;
    const double nx = right / depth / (t * aspect);
    const double ny = up / depth / t;
    return {static_cast<int>((nx + 1) / 2 * shot.width),
            static_cast<int>((1 - ny) / 2 * shot.height)};
}

// Pixels inside the logo-plane rectangle that pass the test.
int countIn(const Picture& shot, double left, double bottom, double right, double top,
            const std::function<bool(const unsigned char*)>& test) {
    const auto [x0, y0] = onScreen(shot, left, top);
    const auto [x1, y1] = onScreen(shot, right, bottom);
    int count = 0;
    for (int y = std::max(0, y0); y < std::min(shot.height, y1); ++y) {
        for (int x = std::max(0, x0); x < std::min(shot.width, x1); ++x) {
            count += test(shot.at(x, y));
        }
    }
    return count;
}

bool whitish(const unsigned char* p) {
    return std::min({p[0], p[1], p[2]}) > 160;
}
bool lit(const unsigned char* p) {
    return std::max({p[0], p[1], p[2]}) > 60;
}

// The logo's letters are whitish where it is revealed.
int letterPixels(const Picture& shot, double left, double right) {
    return countIn(shot, left, -0.2, right, 0.2, whitish);
}

// Part way through the sweep: the shine bar (columns lit over the logo's whole height) stands
// near the middle, letters are lit left of it and hardly any right of it.
bool partlyRevealed(const Picture& shot) {
    const auto [x0, y0] = onScreen(shot, -0.5, 0.2);
    const auto [x1, y1] = onScreen(shot, 0.5, -0.2);
    std::vector<int> column(static_cast<size_t>(x1 - x0), 0);
    for (int y = std::max(0, y0); y < std::min(shot.height, y1); ++y) {
        for (int x = std::max(0, x0); x < std::min(shot.width, x1); ++x) {
            column[x - x0] += whitish(shot.at(x, y));
        }
    }
    int barSum = 0, barColumns = 0;
    for (size_t x = 0; x < column.size(); ++x) {
        if (column[x] > (y1 - y0) * 9 / 10) {
            barSum += static_cast<int>(x);
            ++barColumns;
        }
    }
    if (barColumns == 0) {
        return false;
    }
    const int bar = barSum / barColumns;
    const int width = x1 - x0;
    if (bar < width * 3 / 10 || bar > width * 7 / 10) {
        return false;
    }
    const int margin = width / 10;
    int left = 0, right = 0;
    for (int x = 0; x < width; ++x) {
        if (x < bar - margin) {
            left += column[x];
        } else if (x > bar + margin) {
            right += column[x];
        }
    }
    return left > 1000 && right * 5 < left;
}

// Anything lit outside the logo: beams, the shine bar's ends, sparks.
int litAroundLogo(const Picture& shot) {
    return countIn(shot, -3, -3, 3, 3, lit) - countIn(shot, -0.5, -0.2, 0.5, 0.2, lit);
}

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class LogoIntroRun : public testing::Test {
protected:
    fs::path work;
    std::string program = e2e::programPath();
    e2e::ConfigHome config;
    std::optional<e2e::Program> run; // killed when the test ends before it
    Picture desktop;

    void SetUp() override {
        if (!fs::exists(program)) {
            GTEST_SKIP() << program << " is not built";
        }
        work = fs::path(KELVARA_BINARY_DIR) / "tests" / "output" / "logo_intro_e2e" /
               testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(work);
        fs::create_directories(work);
        // The demo picture on the desktop, so that the effect after the intro is recognisable.
        e2e::showOnRoot(KELVARA_SOURCE_DIR "/data/demo-desktop.jpg", work.string());
        desktop = e2e::takeScreenshot(work / "desktop.ppm");
    }

    void start() {
        run.emplace(std::vector<std::string>{"/s", "--ignore-requirements"}, config.environment(),
                    program);
    }
    bool running() { return run && run->running(); }

    std::string log() const { return run->standardOutput() + run->standardError(); }

    void save(const char* name) { fs::copy_file(work / "poll.ppm", work / name); }

    void endWithKey() {
        // The form takes the key; after an alert the focus may have gone elsewhere.
        std::system("xdotool search --name '^Kelvara, ' windowfocus --sync 2>/dev/null");
        ASSERT_EQ(std::system("xdotool key space"), 0);
        ASSERT_TRUE(run->waitForExit(30)) << "kelvara did not end on a key press";
        EXPECT_EQ(run->exitStatus(), 0) << "kelvara did not end cleanly";
    }
};

TEST_F(LogoIntroRun, TheSweepRevealsTheLogoFromLeftToRightAndTheEffectFollows) {
    start();

    // Part way: the letters left of the sweep are lit, those right of it not yet.
    ASSERT_TRUE(
        e2e::waitForScreen(*run, work / "poll.ppm", "the logo half revealed", partlyRevealed, 90));
    save("intro-partly-revealed.ppm");

    // Later the whole logo stands alone: letters up to its right end, and no beam, bar or
    // spark left around it.
    ASSERT_TRUE(e2e::waitForScreen(
        *run, work / "poll.ppm", "the whole logo",
        [](const Picture& s) {
            return letterPixels(s, -0.5, 0) > 1500 && letterPixels(s, 0.25, 0.5) > 300 &&
                   litAroundLogo(s) < 200;
        },
        30));
    save("intro-whole-logo.ppm");

    // Then the effect: the desktop picture again.
    ASSERT_TRUE(e2e::waitForScreen(
        *run, work / "poll.ppm", "the effect",
        [&](const Picture& s) { return e2e::shareAlike(s, desktop) > 0.8; }, 60));
    save("effect.ppm");
    endWithKey();
}

TEST_F(LogoIntroRun, BrokenLogoDataIsReportedOnceAndEndsTheRun) {
    // A copy of the program beside a data folder of its own whose logo.dat is not a data file.
    const fs::path bin = work / "bin";
    fs::create_directories(bin / "Tarnwick");
    fs::copy_file(program, bin / "kelvara");
    std::ofstream(bin / "Tarnwick" / "logo.dat") << "not a data file";
    program = (bin / "kelvara").string();
    start();

    // The error display: an alert titled "Kelvara", its text also on standard error.
    std::string alert;
    const auto end = Clock::now() + std::chrono::seconds(90);
    while (alert.empty() && Clock::now() < end && running()) {
        FILE* search = popen("xdotool search --name '^Kelvara$' 2>/dev/null", "r");
        char line[64] = {};
        if (search != nullptr && std::fgets(line, sizeof line, search) != nullptr) {
            alert = line;
        }
        if (search != nullptr) {
            pclose(search);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(alert.empty()) << "no error alert appeared";
    EXPECT_EQ(occurrences(log(), "logo.dat"), 1) << log();
    e2e::takeScreenshot(work / "poll.ppm");
    save("alert.ppm");

    // OK closes it, and the run ends without another word.
    alert.erase(alert.find_last_not_of("\r\n") + 1);
    ASSERT_EQ(std::system(("xdotool windowfocus --sync " + alert + " key Return").c_str()), 0);
    ASSERT_TRUE(run->waitForExit(30)) << log();
    EXPECT_EQ(run->exitStatus(), 0) << log();
    EXPECT_EQ(occurrences(log(), "logo.dat"), 1) << log();
}

} // namespace
