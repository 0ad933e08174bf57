// XScreenSaver's image settings as its image loader reads them: the settings file's lines, and
// which of the user's file, the server's resources and the app-defaults file wins.
#include "platform/x11/x11_image_settings.h"
#include "platform/xscreensaver_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Settings = std::vector<std::pair<std::string, std::string>>;

TEST(XScreenSaverSettingsTest, LinesAreReadAsXScreenSaverReadsThem) {
    const Settings settings = xscreensaverSettings("# a comment\n"
                                                   "! another\n"
                                                   "; and another\n"
                                                   "\n"
                                                   "  grabDesktopImages:\tFalse  \n"
                                                   "imageDirectory: /a/\\\n"
                                                   "b\n"
                                                   "no colon here\n"
                                                   "chooseRandomImages :True\r\n"
                                                   "textLiteral: a\\tb\\nc\\\\d\\qe\n"
                                                   "programs:\t\t\t\\\n"
                                                   "  GL: kelvara --root \\n\\\n"
                                                   "  - qix -root \\n\n"
                                                   "last:  without an end\\");
    const Settings expected = {
        {"grabDesktopImages", "False"},
        {"imageDirectory", "/a/b"},
        {"chooseRandomImages ", "True"},
        {"textLiteral", "a\tb\nc\\dqe"},
        {"programs", "GL: kelvara --root \n  - qix -root"},
        {"last", "without an end"},
    };
    EXPECT_EQ(settings, expected);

    for (const char* yes : {"True", "yes", "ON", "on \t"})
        EXPECT_EQ(xscreensaverBoolean(yes), true) << yes;
    for (const char* no : {"False", "NO", "off"})
        EXPECT_EQ(xscreensaverBoolean(no), false) << no;
    for (const char* neither : {"", "1", "maybe", " true"})
        EXPECT_EQ(xscreensaverBoolean(neither), std::nullopt) << neither;
}

class ImageSettingsTest : public testing::Test {
protected:
    fs::path folder =
        fs::temp_directory_path() / ("kelvara-image-settings-" + std::to_string(getpid()));
    std::string home = (folder / "home").string();
    std::string appDefaults = (folder / "XScreenSaver").string();

    void SetUp() override { fs::create_directories(home); }
    void TearDown() override { fs::remove_all(folder); }
    void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    HostImageSettings read(const char* server, const char* homeFolder) {
        return xscreensaverImageSettings(server, {(folder / "absent").string(), appDefaults},
                                         homeFolder);
    }
};

TEST_F(ImageSettingsTest, TheUsersFileOverridesTheServersResourcesWhichOverrideTheAppDefaults) {
    write(appDefaults, "*grabDesktopImages:\tTrue\n"
                       "*chooseRandomImages:\tFalse\n"
                       "*imageDirectory:\t/usr/share/backgrounds\n");
    HostImageSettings settings = read(nullptr, nullptr);
    EXPECT_TRUE(settings.grabDesktopImages);
    EXPECT_FALSE(settings.chooseRandomImages);
    EXPECT_EQ(settings.imageDirectory, "/usr/share/backgrounds");

    const char* server = "xscreensaver.chooseRandomImages: on\n*grabDesktopImages: off\n";
    settings = read(server, home.c_str());
    EXPECT_FALSE(settings.grabDesktopImages);
    EXPECT_TRUE(settings.chooseRandomImages);

    // The loader takes the names from the user's file as spelled, and "~/" is the home.
    write(home + "/.xscreensaver", "grabDesktopImages: True\n"
                                   "ChooseRandomImages: False\n"
                                   "imageDirectory: ~/Pictures\n"
                                   "programs: GL: kelvara --root \\n\n");
    settings = read(server, home.c_str());
    EXPECT_TRUE(settings.grabDesktopImages);
    EXPECT_TRUE(settings.chooseRandomImages);
    EXPECT_EQ(settings.imageDirectory, home + "/Pictures");
    EXPECT_EQ(settings.problem, "");

    // Found nowhere, or no boolean: off.
    fs::remove(appDefaults);
    write(home + "/.xscreensaver", "grabDesktopImages: sometimes\n");
    settings = read(nullptr, home.c_str());
    EXPECT_FALSE(settings.grabDesktopImages);
    EXPECT_FALSE(settings.chooseRandomImages);
    EXPECT_EQ(settings.imageDirectory, "");
}

TEST_F(ImageSettingsTest, AUserFileThatCannotBeReadTurnsTheScreenAndPicturesOff) {
    write(appDefaults, "*grabDesktopImages: True\n*chooseRandomImages: True\n"
                       "*imageDirectory: /pictures\n");
    fs::create_directory(home + "/.xscreensaver");
    HostImageSettings settings = read(nullptr, home.c_str());
    EXPECT_FALSE(settings.grabDesktopImages);
    EXPECT_FALSE(settings.chooseRandomImages);
    EXPECT_EQ(settings.problem, "Cannot read " + home + "/.xscreensaver: Is a directory");

    fs::remove(home + "/.xscreensaver");
    write(home + "/.xscreensaver", "grabDesktopImages: True\n" + std::string(1 << 20, '#'));
    settings = read(nullptr, home.c_str());
    EXPECT_FALSE(settings.grabDesktopImages);
    EXPECT_EQ(settings.problem, "Cannot read " + home + "/.xscreensaver: it is larger than 1 MB");
}

} // namespace
