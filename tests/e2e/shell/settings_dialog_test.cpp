// "/c": the settings dialog on screen, storing on OK, the link, the instance lock, errors of the
// registry file.
#include "e2e.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

const std::string dialogTitle = "Tarnwick Screensaver Settings";

// Client positions in the dialog without customization (client 280 x 158).
constexpr int resX = 168, resY = 42;
constexpr int okX = 237, okY = 122;
constexpr int linkX = 140, linkY = 150;

// Dismisses the error alert by its OK button's key.
void dismissAlert(e2e::Window alert) {
    const e2e::Geometry g = e2e::windowGeometry(alert);
    e2e::moveTo(alert, g.width / 2, g.height / 2);
    e2e::pressKey("Return");
}

TEST(SettingsDialog, ShowsTheDialogAndOkStoresTheThreeValuesAndEnds) {
    e2e::ConfigHome config;
    e2e::Program run({"/c"}, config.environment());
    const e2e::Window dialog = e2e::waitForWindow(dialogTitle);
    ASSERT_NE(dialog, e2e::noWindow) << run.standardError();
    e2e::screenshot("settings_dialog");
    const e2e::Geometry g = e2e::windowGeometry(dialog);
    EXPECT_EQ(g.width, 280);
    EXPECT_EQ(g.height, 180 - 22); // the outer height less a tool window's frame
    // Centred on the screen.
    EXPECT_NEAR(g.x + g.width / 2, e2e::displayWidth() / 2, 8);
    EXPECT_NEAR(g.y + g.height / 2, e2e::displayHeight() / 2, 16);

    e2e::clickIn(dialog, okX, okY);
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
    const std::string stored = config.readRegistry();
    EXPECT_NE(stored.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"),
              std::string::npos)
        << stored;
    EXPECT_NE(stored.find("\"resolution\"=dword:00000000\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\"sound\"=dword:00000001\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\"customize\"=\"\"\n"), std::string::npos) << stored;
}

TEST(SettingsDialog, TheResolutionListHoldsTheServersModes) {
    e2e::ConfigHome config;
    e2e::Program run({"/c"}, config.environment());
    const e2e::Window dialog = e2e::waitForWindow(dialogTitle);
    ASSERT_NE(dialog, e2e::noWindow) << run.standardError();
    // Open the list, step two entries down and pick: only a list with modes gets there.
    const size_t windows = e2e::topLevelWindows().size();
    e2e::clickIn(dialog, resX, resY);
    ASSERT_TRUE(e2e::waitUntil([&] { return e2e::topLevelWindows().size() > windows; }));
    e2e::screenshot("settings_resolution_list");
    e2e::pressKey("Down");
    e2e::pressKey("Down");
    e2e::pressKey("Return");
    ASSERT_TRUE(e2e::waitUntil([&] { return e2e::topLevelWindows().size() == windows; }));
    e2e::clickIn(dialog, okX, okY);
    ASSERT_TRUE(run.waitForExit());
    EXPECT_NE(config.readRegistry().find("\"resolution\"=dword:00000002\n"), std::string::npos)
        << config.readRegistry();
}

TEST(SettingsDialog, TheLinkOpensTheAddressAndEndsWithoutStoring) {
    e2e::ConfigHome config;
    // A stand-in for xdg-open that notes what it was asked to open.
    e2e::TempFolder bin;
    const std::string opened = bin.path + "/opened";
    {
        std::ofstream script(bin.path + "/xdg-open");
        script << "#!/bin/sh\necho \"$1\" > '" << opened << "'\n";
    }
    chmod((bin.path + "/xdg-open").c_str(), 0755);
    e2e::Environment env = config.environment();
    env.emplace_back("PATH", bin.path + ":" + std::getenv("PATH"));

    e2e::Program run({"/C:1234"}, env); // capitals and the system's ":<window>" suffix
    const e2e::Window dialog = e2e::waitForWindow(dialogTitle);
    ASSERT_NE(dialog, e2e::noWindow) << run.standardError();
    e2e::clickIn(dialog, linkX, linkY);
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
    EXPECT_FALSE(std::filesystem::exists(config.registryPath()));
    ASSERT_TRUE(e2e::waitUntil([&] { return std::filesystem::exists(opened); }));
    std::ifstream in(opened);
    std::string url;
    std::getline(in, url);
    EXPECT_EQ(url.rfind("https://", 0), 0u) << url;
}

TEST(SettingsDialog, TheCloseBoxEndsWithoutStoring) {
    e2e::ConfigHome config;
    e2e::Program run({"/c"}, config.environment());
    const e2e::Window dialog = e2e::waitForWindow(dialogTitle);
    ASSERT_NE(dialog, e2e::noWindow) << run.standardError();
    e2e::closeWindow(dialog);
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
    EXPECT_FALSE(std::filesystem::exists(config.registryPath()));
}

TEST(SettingsDialog, ASecondRunEndsAtOnceUntilTheFirstIsGoneEvenByKill9) {
    e2e::ConfigHome config;
    auto first =
        std::make_unique<e2e::Program>(std::vector<std::string>{"/c"}, config.environment());
    ASSERT_NE(e2e::waitForWindow(dialogTitle), e2e::noWindow);
    {
        e2e::Program second({"/c"}, config.environment());
        ASSERT_TRUE(second.waitForExit());
        EXPECT_EQ(second.exitStatus(), 0);
        EXPECT_EQ(second.standardError(), "");
        e2e::Program fullScreen({"/s"}, config.environment()); // the same lock
        ASSERT_TRUE(fullScreen.waitForExit());
        EXPECT_EQ(fullScreen.exitStatus(), 0);
    }
    EXPECT_TRUE(first->running());
    first->signal(SIGKILL);
    ASSERT_TRUE(first->waitForExit());
    ASSERT_TRUE(e2e::waitForWindowGone(dialogTitle));

    e2e::Program again({"/c"}, config.environment());
    EXPECT_NE(e2e::waitForWindow(dialogTitle), e2e::noWindow) << again.standardError();
    again.signal(SIGTERM); // closes the form: the normal teardown, status 0
    ASSERT_TRUE(again.waitForExit());
    EXPECT_EQ(again.exitStatus(), 0);
}

TEST(SettingsDialog, ARegistryThatCannotBeWrittenShowsTheErrorAndTheDialogStays) {
    e2e::ConfigHome config;
    // A plain file where the configuration folder should be: no user can write under it.
    const std::string blocked = config.folder.path + "/blocked";
    std::ofstream(blocked) << "x";
    e2e::Program run({"/c"}, {{"XDG_CONFIG_HOME", blocked}});
    const e2e::Window dialog = e2e::waitForWindow(dialogTitle);
    ASSERT_NE(dialog, e2e::noWindow) << run.standardError();
    e2e::clickIn(dialog, okX, okY);
    const e2e::Window alert = e2e::waitForWindow("Kelvara");
    ASSERT_NE(alert, e2e::noWindow);
    e2e::screenshot("settings_registry_not_writable");
    EXPECT_TRUE(e2e::waitUntil([&] {
        // A quote's code is below that of the full stop: none is added.
        return run.standardError().find("Failed to set data for 'resolution'\n") !=
               std::string::npos;
    })) << run.standardError();
    dismissAlert(alert);
    ASSERT_TRUE(e2e::waitForWindowGone("Kelvara"));
    EXPECT_TRUE(run.running());
    EXPECT_NE(e2e::findWindow(dialogTitle), e2e::noWindow);
    run.signal(SIGTERM);
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
}

TEST(SettingsDialog, AHandEditedFileThatCannotBeReadIsNamedWithItsLineAndKept) {
    e2e::ConfigHome config;
    const std::string broken = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"
                               "\"resolution\"=dword:00000001\nsound=1\n";
    config.writeRegistry(broken);
    e2e::Program run({"/c"}, config.environment());
    const e2e::Window alert = e2e::waitForWindow("Kelvara");
    ASSERT_NE(alert, e2e::noWindow) << run.standardError();
    EXPECT_TRUE(e2e::waitUntil([&] {
        return run.standardError().find(config.registryPath() + " line 5: ") != std::string::npos;
    })) << run.standardError();
    dismissAlert(alert);
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
    EXPECT_EQ(config.readRegistry(), broken);
}

} // namespace
