#include "shell/command_line.h"
#include "shell/frame_rate.h"

#include "platform/exception.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

std::string windowIdError(const std::string& text) {
    try {
        parseWindowId(text);
    } catch (const Exception& e) {
        return e.message;
    }
    return "accepted";
}

TEST(CommandLineTest, RunModeTestsSwitchesAsLowerCasedSubstringsOfTheFirstArgumentInOrder) {
    EXPECT_EQ(runModeOf({"/s"}), RunMode::fullScreen);
    EXPECT_EQ(runModeOf({"/S"}), RunMode::fullScreen);
    EXPECT_EQ(runModeOf({"/p", "12"}), RunMode::preview);
    EXPECT_EQ(runModeOf({"/c"}), RunMode::settings);
    EXPECT_EQ(runModeOf({"/c:1234"}), RunMode::settings);
    EXPECT_EQ(runModeOf({"/C:1234"}), RunMode::settings);
    EXPECT_EQ(runModeOf({"xx/cxx"}), RunMode::settings);
    EXPECT_EQ(runModeOf({"/c/p/s"}), RunMode::fullScreen);
    EXPECT_EQ(runModeOf({"/c/p"}), RunMode::preview);
    EXPECT_EQ(runModeOf({"/x", "/s"}), RunMode::none);
    EXPECT_EQ(runModeOf({}), RunMode::none);
    EXPECT_EQ(runModeOf({"s"}), RunMode::none);
}

TEST(CommandLineTest, HostSwitchesAnywhereSelectHostModeWhenTheFirstArgumentHasNoModeSwitch) {
    EXPECT_EQ(runModeOf({"--root"}), RunMode::host);
    EXPECT_EQ(runModeOf({"-root"}), RunMode::host);
    EXPECT_EQ(runModeOf({"--fps", "--window-id", "12"}), RunMode::host);
    EXPECT_EQ(runModeOf({"-window-id", "12"}), RunMode::host);
    EXPECT_EQ(runModeOf({"/s", "--root"}), RunMode::fullScreen);
    EXPECT_EQ(runModeOf({"/p", "--window-id"}), RunMode::preview);
    EXPECT_EQ(runModeOf({"--fps"}), RunMode::none);
    EXPECT_EQ(runModeOf({"--rootx"}), RunMode::none);
}

TEST(CommandLineTest, HostOptionsNameTheWindowFromTheSwitchOrTheHostsVariable) {
    EXPECT_EQ(hostOptionsOf({"--root"}, nullptr).window, 0u);
    EXPECT_EQ(hostOptionsOf({"--root"}, "").window, 0u);
    EXPECT_EQ(hostOptionsOf({"--root"}, "0x600008").window, 0x600008u);
    EXPECT_EQ(hostOptionsOf({"-root"}, "6291464").window, 6291464u);
    EXPECT_EQ(hostOptionsOf({"--window-id", "0x2A"}, "0x600008").window, 0x2Au);
    EXPECT_EQ(hostOptionsOf({"--root", "-window-id", "42"}, "0x600008").window, 42u);
    // Without --root the host's variable does not count.
    EXPECT_EQ(hostOptionsOf({"--window-id", "7"}, "junk").window, 7u);
    EXPECT_FALSE(hostOptionsOf({"--root"}, nullptr).showFrameRate);
    EXPECT_TRUE(hostOptionsOf({"--root", "--fps"}, nullptr).showFrameRate);
    EXPECT_TRUE(hostOptionsOf({"-fps", "--root"}, nullptr).showFrameRate);
    // XScreenSaver names its window for every saver it runs, its settings' preview included.
    EXPECT_TRUE(hostOptionsOf({"--root"}, "0x600008").underXScreenSaver);
    EXPECT_TRUE(hostOptionsOf({"--window-id", "7"}, "0x600008").underXScreenSaver);
    EXPECT_FALSE(hostOptionsOf({"--window-id", "7"}, "").underXScreenSaver);
    EXPECT_FALSE(hostOptionsOf({"--root"}, nullptr).underXScreenSaver);
}

TEST(CommandLineTest, BadHostWindowIdsAreClearErrors) {
    auto error = [](const std::vector<std::string>& args, const char* variable = nullptr) {
        try {
            hostOptionsOf(args, variable);
        } catch (const Exception& e) {
            return e.message;
        }
        return std::string("accepted");
    };
    EXPECT_EQ(error({"--window-id"}), "--window-id needs a window id");
    EXPECT_EQ(error({"--window-id", "0"}), "'0' is not a valid window id");
    EXPECT_EQ(error({"--window-id", "0x"}), "'0x' is not a valid window id");
    EXPECT_EQ(error({"--window-id", "12ab"}), "'12ab' is not a valid window id");
    EXPECT_EQ(error({"--window-id", "0x1g"}), "'0x1g' is not a valid window id");
    EXPECT_EQ(error({"--window-id", "-5"}), "'-5' is not a valid window id");
    EXPECT_EQ(error({"--window-id", "4294967296"}), "'4294967296' is not a valid window id");
    EXPECT_EQ(error({"--window-id", "0x100000000"}), "'0x100000000' is not a valid window id");
    EXPECT_EQ(error({"--window-id", "0xFFFFFFFF"}), "accepted");
    EXPECT_EQ(error({"--root"}, "window"),
              "XSCREENSAVER_WINDOW: 'window' is not a valid window id");
}

TEST(CommandLineTest, OnlyAPreviewTakesThePreviewLock) {
    EXPECT_EQ(instanceLockName({"/p", "5"}), "KELVARA_PREVIEW_MUTEX");
    EXPECT_EQ(instanceLockName({"/P"}), "KELVARA_PREVIEW_MUTEX");
    EXPECT_EQ(instanceLockName({"/s"}), "KELVARA_OTHER_MUTEX");
    EXPECT_EQ(instanceLockName({"/c:99"}), "KELVARA_OTHER_MUTEX");
    EXPECT_EQ(instanceLockName({}), "KELVARA_OTHER_MUTEX");
    EXPECT_EQ(instanceLockName({"/s", "/p"}), "KELVARA_OTHER_MUTEX");
}

TEST(CommandLineTest, OptionsMustFollowTheFirstArgument) {
    EXPECT_TRUE(ignoresRequirements({"/s", "--ignore-requirements"}));
    EXPECT_TRUE(ignoresRequirements({"/s", "x", "--ignore-requirements"}));
    EXPECT_FALSE(ignoresRequirements({"--ignore-requirements"}));
    EXPECT_FALSE(ignoresRequirements({"/s", "--ignore"}));
    EXPECT_FALSE(ignoresRequirements({}));
    EXPECT_TRUE(reportsFrameRate({"/s", "--ignore-requirements", "--report-fps"}));
    EXPECT_FALSE(reportsFrameRate({"--report-fps"}));
    EXPECT_TRUE(showsFrameRate({"/s", "--fps"}));
    EXPECT_TRUE(showsFrameRate({"/s", "-fps"}));
    EXPECT_FALSE(showsFrameRate({"--fps"}));
}

TEST(CommandLineTest, FrameRateCountsTheTimeBetweenFirstAndLastFrame) {
    FrameRate rate;
    EXPECT_EQ(rate.perSecond(), 0);
    const FrameRate::Clock::time_point start{};
    rate.frame(start);
    EXPECT_EQ(rate.perSecond(), 0);
    for (int i = 1; i <= 50; ++i) {
        rate.frame(start + std::chrono::milliseconds(20 * i));
    }
    EXPECT_EQ(rate.frames, 51u);
    EXPECT_DOUBLE_EQ(rate.perSecond(), 50.0);
}

TEST(CommandLineTest, WindowIdsArePlainDecimalThatFitsIn32Bits) {
    EXPECT_EQ(parseWindowId("0"), 0u);
    EXPECT_EQ(parseWindowId("4194307"), 4194307u);
    EXPECT_EQ(parseWindowId("004194307"), 4194307u);
    EXPECT_EQ(parseWindowId("4294967295"), 4294967295u);
    for (const std::string bad : {"", "abc", "12x", "-5", "+5", " 5", "5 ", "0x10", "$10",
                                  "4294967296", "99999999999999999999999"}) {
        EXPECT_EQ(windowIdError(bad), "'" + bad + "' is not a valid integer value") << bad;
    }
}

TEST(CommandLineTest, SplittingSeparatesOnBlanksAndControlsAndDropsGroupingQuotes) {
    EXPECT_EQ(splitCommandLine(""), Args{});
    EXPECT_EQ(splitCommandLine("   \t\r\n"), Args{});
    EXPECT_EQ(splitCommandLine("kelvara.scr /p 1234"), (Args{"kelvara.scr", "/p", "1234"}));
    EXPECT_EQ(splitCommandLine("\"C:\\Program Files\\k.scr\"\t/c:99"),
              (Args{"C:\\Program Files\\k.scr", "/c:99"}));
    EXPECT_EQ(splitCommandLine("a\"b c\"d e"), (Args{"ab cd", "e"}));
    EXPECT_EQ(splitCommandLine("x \"\" y"), (Args{"x", "y"}));
    EXPECT_EQ(splitCommandLine("x \"unterminated y"), (Args{"x", "unterminated y"}));
    EXPECT_EQ(splitCommandLine(std::string("a\0b", 3)), (Args{"a", "b"}));
    EXPECT_EQ(splitCommandLine("\xe9t\xe9"), Args{"\xe9t\xe9"});
}

TEST(CommandLineTest, UsageNamesTheModesAndTheSettingsFile) {
    const std::string usage = usageText();
    for (const char* part : {"/s", "/p", "/c", "--ignore-requirements", "--help",
                             "$XDG_CONFIG_HOME/kelvara/registry.reg", "~/.config"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
}

} // namespace
