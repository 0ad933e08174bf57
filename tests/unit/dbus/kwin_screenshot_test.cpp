// The KWin screenshot client against the stand-in service (kwin_screenshot_stand_in.cpp) on a
// private session bus of the test's own dbus-daemon: the pictures, the refusal, and answers
// that are broken, too large, too short or never come.
#include "platform/bitmap.h"
#include "platform/dbus/kwin_screenshot.h"
#include "platform/process.h"

#include "kwin_stand_in_pictures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

// A child process whose first line of standard output the test waits for.
class Child {
public:
    Child(std::vector<std::string> command, const std::string& busAddress = "") {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            if (!busAddress.empty())
                setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
            std::vector<char*> argv;
            for (std::string& word : command)
                argv.push_back(word.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        output = out[0];
        if (pid < 0)
            throw std::runtime_error("fork failed");
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        close(output);
    }

    // The first line it writes, or "" if none comes within 10 s.
    std::string firstLine() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd readable{output, POLLIN, 0};
            if (poll(&readable, 1, 100) <= 0)
                continue;
            char c;
            if (read(output, &c, 1) != 1)
                return "";
            if (c == '\n')
                return line;
            line += c;
        }
        return "";
    }

    pid_t pid = -1;
    int output = -1;
};

// A session bus of the test's own; its address is this process's session bus meanwhile.
class PrivateBus {
public:
    PrivateBus() : daemon({"dbus-daemon", "--session", "--nofork", "--print-address"}) {
        address = daemon.firstLine();
        if (address.empty())
            throw std::runtime_error("dbus-daemon gave no address");
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }

    Child daemon;
    std::string address;
};

class KwinScreenshot : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bus = new PrivateBus;
        standIn = new Child({KELVARA_STAND_IN}, bus->address);
        ASSERT_EQ(standIn->firstLine(), "ready");
    }
    static void TearDownTestSuite() {
        delete standIn;
        delete bus;
    }
    void SetUp() override { setenv("DBUS_SESSION_BUS_ADDRESS", bus->address.c_str(), 1); }

    // A picture the failed calls must leave as it was.
    static Bitmap marker() {
        Bitmap b(2, 1, 24);
        b.pixels[0] = 42;
        return b;
    }

    static PrivateBus* bus;
    static Child* standIn;
};
PrivateBus* KwinScreenshot::bus = nullptr;
Child* KwinScreenshot::standIn = nullptr;

TEST_F(KwinScreenshot, GivesEachOutputsPictureExactlyInEveryFormatKwinUses) {
    for (const char* output : {"Virtual-0", "Virtual-1", "Large-1"}) {
        SCOPED_TRACE(output);
        const StandInPicture sent = standInPicture(output);
        Bitmap picture;
        std::string why;
        ASSERT_EQ(captureKwinScreen(output, picture, why), KwinScreenshotResult::taken) << why;
        ASSERT_EQ(picture.width, static_cast<int>(sent.width));
        ASSERT_EQ(picture.height, static_cast<int>(sent.height));
        ASSERT_EQ(picture.bitsPerPixel, 24);
        int wrong = 0;
        for (uint32_t y = 0; y < sent.height; ++y) {
            const uint8_t* row = picture.row(static_cast<int>(y));
            for (uint32_t x = 0; x < sent.width; ++x) {
                const StandInColour c = standInColour(sent.seed, x, y);
                wrong +=
                    row[3 * x] != c.blue || row[3 * x + 1] != c.green || row[3 * x + 2] != c.red;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(KwinScreenshot, RefusalSaysWhyAndHowToAllowThisProgram) {
    Bitmap picture = marker();
    std::string why;
    EXPECT_EQ(captureKwinScreen("refused", picture, why), KwinScreenshotResult::refused);
    EXPECT_THAT(why, HasSubstr("org.kde.KWin.ScreenShot2.Error.NoAuthorized"));
    EXPECT_THAT(why, HasSubstr("X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2"));
    EXPECT_THAT(why, HasSubstr("(here " + executablePath() + ")"));
    EXPECT_THAT(why, HasSubstr("kelvara.desktop"));
    EXPECT_EQ(picture.width, 2);
    EXPECT_EQ(picture.pixels[0], 42);
}

TEST_F(KwinScreenshot, BrokenAnswersFailWithTheirReasonAndLeaveThePicture) {
    const std::pair<const char*, const char*> cases[] = {
        {"short", "KWin ended the picture after 6144 of its 12288 bytes"},
        {"huge-claim", "a picture of 100000x100000 pixels, which no output has"},
        {"big-claim", "KWin ended the picture after 100 of its 268435456 bytes"},
        {"narrow-rows", "rows of 252 bytes for a picture 64 pixels wide"},
        {"wide-rows", "rows of 100256 bytes for a picture 64 pixels wide"},
        {"png", "KWin gave the picture as 'png', not raw pixels"},
        {"indexed", "QImage format 3, which this program does not read"},
        {"signed-width", "gives width as D-Bus type 'i' instead of 'u'"},
        {"no-height", "KWin's answer has no height"},
        {"Virtual-9", "org.kde.KWin.ScreenShot2.Error.InvalidScreen (Invalid screen requested)"},
    };
    for (const auto& [output, reason] : cases) {
        SCOPED_TRACE(output);
        Bitmap picture = marker();
        std::string why;
        EXPECT_EQ(captureKwinScreen(output, picture, why), KwinScreenshotResult::failed);
        EXPECT_THAT(why, HasSubstr(reason));
        EXPECT_EQ(picture.width, 2);
        EXPECT_EQ(picture.pixels[0], 42);
    }
}

TEST_F(KwinScreenshot, AServiceThatHangsMeetsTheTimeOut) {
    Bitmap picture = marker();
    std::string why;
    EXPECT_EQ(captureKwinScreen("stalled", picture, why, 300), KwinScreenshotResult::failed);
    EXPECT_THAT(why, HasSubstr("KWin wrote 0 of the picture's 12288 bytes in time"));
    EXPECT_EQ(captureKwinScreen("silent", picture, why, 300), KwinScreenshotResult::failed);
    EXPECT_THAT(why, HasSubstr("did not answer within 300 ms"));
    EXPECT_EQ(picture.width, 2);
}

TEST(KwinScreenshotAbsent, NoServiceOrNoSessionBusIsAbsentNotAFailure) {
    Bitmap picture;
    std::string why;
    {
        PrivateBus bare;
        EXPECT_EQ(captureKwinScreen("Virtual-0", picture, why), KwinScreenshotResult::absent);
        EXPECT_EQ(why, "KWin's screenshot service is not on the session bus");
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kelvara-test-bus", 1);
    EXPECT_EQ(captureKwinScreen("Virtual-0", picture, why), KwinScreenshotResult::absent);
    EXPECT_THAT(why, HasSubstr("cannot reach the session bus"));
    EXPECT_EQ(picture.width, 0);
}

} // namespace
