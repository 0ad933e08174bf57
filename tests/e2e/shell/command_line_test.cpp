// The command line's silent ends, the usage text and the preview's bad host argument.
#include "e2e.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, NoSwitchOrAnUnknownOneEndsSilently) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"/x"}, {"settings"}, {""}}) {
        e2e::ConfigHome config;
        e2e::Program run(args, config.environment());
        ASSERT_TRUE(run.waitForExit());
        EXPECT_EQ(run.exitStatus(), 0);
        EXPECT_EQ(run.standardError(), "");
        EXPECT_EQ(run.standardOutput(), "");
        EXPECT_EQ(e2e::findWindow("Kelvara", e2e::Title::prefix), e2e::noWindow);
    }
}

TEST(CommandLine, HelpPrintsTheUsageAndVersionTheVersionAndBothEnd) {
    e2e::Program run({"--help"});
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
    EXPECT_NE(run.standardOutput().find("/c"), std::string::npos) << run.standardOutput();
    EXPECT_NE(run.standardOutput().find("registry.reg"), std::string::npos);

    e2e::Program version({"--version"});
    ASSERT_TRUE(version.waitForExit());
    EXPECT_EQ(version.exitStatus(), 0);
    EXPECT_EQ(version.standardOutput(), "kelvara " KELVARA_VERSION "\n");
}

TEST(CommandLine, APreviewHostThatIsNoNumberShowsTheErrorAndEnds) {
    e2e::ConfigHome config;
    e2e::Program run({"/p", "abc"}, config.environment());
    const e2e::Window alert = e2e::waitForWindow("Kelvara");
    ASSERT_NE(alert, e2e::noWindow) << run.standardError();
    e2e::screenshot("preview_bad_host");
    EXPECT_TRUE(e2e::waitUntil([&] {
        return run.standardError() == "'abc' is not a valid integer value.\n";
    })) << run.standardError();
    const e2e::Geometry g = e2e::windowGeometry(alert);
    e2e::moveTo(alert, g.width / 2, g.height / 2);
    e2e::pressKey("Return");
    ASSERT_TRUE(run.waitForExit());
    EXPECT_EQ(run.exitStatus(), 0);
}

TEST(CommandLine, WithoutADisplayErrorsArePrintedAndTheProgramEnds) {
    e2e::ConfigHome config;
    e2e::Environment env = config.environment();
    env.emplace_back("DISPLAY", ":999"); // no server there
    e2e::Program badHost({"/p", "abc"}, env);
    ASSERT_TRUE(badHost.waitForExit());
    EXPECT_EQ(badHost.exitStatus(), 0);
    EXPECT_EQ(badHost.standardError(), "'abc' is not a valid integer value.\n");

    e2e::Program settings({"/c"}, env);
    ASSERT_TRUE(settings.waitForExit());
    EXPECT_EQ(settings.exitStatus(), 0);
    EXPECT_NE(settings.standardError().find("Cannot open the X display \":999\""),
              std::string::npos)
        << settings.standardError();
}

} // namespace
