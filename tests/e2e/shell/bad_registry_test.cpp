// The registry file as people leave it: each case through "/c" of the real program ends in its
// clear message or its fallback, and the file (or whatever stands in its place) keeps what it
// held.
#include "e2e.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string dialogTitle = "Tarnwick Screensaver Settings";
constexpr int okX = 237, okY = 122; // the OK button in the dialog without customization

const std::string header = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n";
const std::string stored = header + "\"resolution\"=dword:00000000\n\"sound\"=dword:00000001\n" +
                           "\"customize\"=\"\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n" +
                           "\"kept\"=\"by another program\"\n";

void dismissAlert(e2e::Window alert) {
    const e2e::Geometry g = e2e::windowGeometry(alert);
    e2e::moveTo(alert, g.width / 2, g.height / 2);
    e2e::pressKey("Return");
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Root may write anywhere: the cases about permissions run the program without the powers that
// let it (util-linux's setpriv), as any user would.
std::vector<std::string> asUser(std::vector<std::string> arguments) {
    if (geteuid() != 0) {
        return arguments;
    }
    arguments.insert(arguments.begin(), {"--bounding-set=-dac_override,-dac_read_search,-fowner",
                                         "--", e2e::programPath()});
    return arguments;
}

struct Case {
    std::string name;
    std::function<void(const e2e::ConfigHome&)> prepare;
    // Empty: the dialog opens, OK is pressed; else the message the start ends with.
    std::string startError;
    // After OK: empty when the store succeeds, else its message (the dialog stays).
    std::string storeError;
    // What must hold afterwards.
    std::function<void(const e2e::ConfigHome&)> check;
    bool dropPowers = false;
};

TEST(BadRegistry, EachCaseEndsInItsMessageOrFallbackAndLosesNothing) {
    const auto keptAsWritten = [](const std::string& text) {
        return [text](const e2e::ConfigHome& c) { EXPECT_EQ(c.readRegistry(), text); };
    };
    const std::string wrongType = header + "\"resolution\"=\"1\"\n\"sound\"=dword:00000001\n";
    const std::string missing = header + "\"resolution\"=dword:00000000\n";
    const std::string malformed = header + "\"resolution\"=dword:00000000\nsound=1\n";
    const std::string huge = header + "\"customize\"=\"" + std::string(10 << 20, 'x') + "\"\n";
    const std::string outside = header + "\"resolution\"=dword:000f4240\n" +
                                "\"sound\"=dword:00000001\n\"customize\"=\"\"\n";
    const std::vector<Case> cases = {
        {"wrong type", [&](auto& c) { c.writeRegistry(wrongType); },
         "Invalid data type for 'resolution'", "", keptAsWritten(wrongType)},
        {"missing value", [&](auto& c) { c.writeRegistry(missing); },
         "Failed to get data for 'sound'", "", keptAsWritten(missing)},
        {"malformed line", [&](auto& c) { c.writeRegistry(malformed); },
         "registry.reg line 5: ", "", keptAsWritten(malformed)},
        {"10 MB string", [&](auto& c) { c.writeRegistry(huge); }, "is larger than 1024 KB", "",
         keptAsWritten(huge)},
        {"a folder in its place", [](auto& c) { fs::create_directories(c.registryPath()); },
         "not a regular file", "",
         [](auto& c) { EXPECT_TRUE(fs::is_directory(c.registryPath())); }},
        {"a link loop",
         [](auto& c) {
             fs::create_directories(fs::path(c.registryPath()).parent_path());
             fs::create_symlink("loop.reg", c.registryPath());
             fs::create_symlink("registry.reg",
                                fs::path(c.registryPath()).parent_path() / "loop.reg");
         },
         "Too many levels of symbolic links", "",
         [](auto& c) { EXPECT_TRUE(fs::is_symlink(c.registryPath())); }},
        {"a read-only file",
         [&](auto& c) {
             c.writeRegistry(stored);
             chmod(c.registryPath().c_str(), 0444);
         },
         "", "Failed to set data for 'resolution'", keptAsWritten(stored), true},
        {"a read-only folder",
         [&](auto& c) {
             c.writeRegistry(stored);
             chmod(fs::path(c.registryPath()).parent_path().c_str(), 0555);
         },
         "", "Failed to set data for 'resolution'",
         [&](auto& c) {
             EXPECT_EQ(c.readRegistry(), stored);
             chmod(fs::path(c.registryPath()).parent_path().c_str(), 0755); // for the clean-up
         },
         true},
        // Settings kept in a repository of dotfiles and linked in: read through the link, stored
        // into the file it leads to, the link kept, the other program's key kept.
        {"a link to a file",
         [&](auto& c) {
             fs::create_directories(fs::path(c.registryPath()).parent_path());
             std::ofstream(c.folder.path + "/dotfiles.reg") << stored;
             fs::create_symlink("../dotfiles.reg", c.registryPath());
         },
         "", "",
         [](auto& c) {
             EXPECT_TRUE(fs::is_symlink(c.registryPath()));
             const std::string text = readText(c.folder.path + "/dotfiles.reg");
             EXPECT_NE(text.find("\"resolution\"=dword:00000000"), std::string::npos) << text;
             EXPECT_NE(text.find("\"kept\"=\"by another program\""), std::string::npos) << text;
         }},
        // An index beyond the list selects nothing; OK stores "nothing selected".
        {"a resolution outside the list", [&](auto& c) { c.writeRegistry(outside); }, "", "",
         [](auto& c) {
             EXPECT_NE(c.readRegistry().find("\"resolution\"=dword:ffffffff"), std::string::npos)
                 << c.readRegistry();
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        e2e::ConfigHome config;
        test.prepare(config);
        std::optional<e2e::Program> run;
        if (test.dropPowers && geteuid() == 0) {
            run.emplace(asUser({"/c"}), config.environment(), "/usr/bin/setpriv");
        } else {
            run.emplace(std::vector<std::string>{"/c"}, config.environment());
        }
        if (!test.startError.empty()) {
            const e2e::Window alert = e2e::waitForWindow("Kelvara");
            ASSERT_NE(alert, e2e::noWindow) << run->standardError();
            EXPECT_TRUE(e2e::waitUntil([&] {
                return run->standardError().find(test.startError) != std::string::npos;
            })) << run->standardError();
            dismissAlert(alert);
        } else {
            const e2e::Window dialog = e2e::waitForWindow(dialogTitle);
            ASSERT_NE(dialog, e2e::noWindow) << run->standardError();
            e2e::clickIn(dialog, okX, okY);
            if (!test.storeError.empty()) {
                const e2e::Window alert = e2e::waitForWindow("Kelvara");
                ASSERT_NE(alert, e2e::noWindow) << run->standardError();
                EXPECT_TRUE(e2e::waitUntil([&] {
                    return run->standardError().find(test.storeError) != std::string::npos;
                })) << run->standardError();
                dismissAlert(alert);
                ASSERT_TRUE(e2e::waitForWindowGone("Kelvara"));
                EXPECT_TRUE(run->running()); // the dialog stays for another try
                e2e::closeWindow(dialog);
            }
        }
        ASSERT_TRUE(run->waitForExit()) << run->standardError();
        EXPECT_EQ(run->exitStatus(), 0);
        test.check(config);
    }
}

// Where the file lives when the environment is odd: without HOME the configuration folder
// named by XDG_CONFIG_HOME serves; a relative XDG_CONFIG_HOME is ignored for HOME's.
TEST(BadRegistry, AnOddEnvironmentStillFindsAnAbsoluteHome) {
    e2e::TempFolder home;
    e2e::ConfigHome config;
    const std::string envPath = "/usr/bin/env";
    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant == 0 ? "HOME unset" : "XDG_CONFIG_HOME relative");
        const std::vector<std::string> args =
            variant == 0
                ? std::vector<std::string>{"-u", "HOME", "XDG_CONFIG_HOME=" + config.folder.path,
                                           e2e::programPath(), "/c"}
                : std::vector<std::string>{"HOME=" + home.path, "XDG_CONFIG_HOME=relative",
                                           e2e::programPath(), "/c"};
        e2e::Program run(args, {}, envPath);
        const e2e::Window dialog = e2e::waitForWindow(dialogTitle);
        ASSERT_NE(dialog, e2e::noWindow) << run.standardError();
        e2e::clickIn(dialog, okX, okY);
        ASSERT_TRUE(run.waitForExit()) << run.standardError();
        EXPECT_EQ(run.exitStatus(), 0);
        EXPECT_EQ(run.standardError(), "");
    }
    EXPECT_NE(config.readRegistry().find("\"resolution\""), std::string::npos);
    EXPECT_TRUE(fs::exists(home.path + "/.config/kelvara/registry.reg"));
    EXPECT_FALSE(fs::exists("relative"));
}

} // namespace
