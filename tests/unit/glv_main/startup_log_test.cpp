// The start-up log's model: where texts go, and its plain-text form for standard error.
#include "glv_main/startup_log.h"

#include <gtest/gtest.h>

namespace {

TEST(StartupLog, HeadingsAdvanceLabelsWaitForTheirValueAtColumn400) {
    StartupLog log;
    log.heading("Detecting Hardware...");
    log.label("CPU");
    log.colour = StartupLog::passColour;
    log.value("3000 MHz");
    log.colour = StartupLog::white;
    log.label("GL_ARB_multitexture", StartupLog::extensionIndent);
    log.skipLine();
    log.heading("after");

    ASSERT_EQ(log.texts.size(), 5u);
    EXPECT_EQ(log.texts[0].x, 16);
    EXPECT_EQ(log.texts[0].y, 16);
    EXPECT_EQ(log.texts[1].x, 16);
    EXPECT_EQ(log.texts[1].y, 32);
    EXPECT_EQ(log.texts[2].x, 400);
    EXPECT_EQ(log.texts[2].y, 32);
    EXPECT_EQ(log.texts[2].colour, 0xFFC8C8u);
    EXPECT_EQ(log.texts[3].x, 48);
    EXPECT_EQ(log.texts[3].y, 48);
    // The label waits on line 3; the skipped line 4 stays empty.
    EXPECT_EQ(log.texts[4].y, 64);
    EXPECT_EQ(log.line, 5);
}

TEST(StartupLog, PlainLinesPutValuesBesideLabelsAndKeepEmptyLines) {
    StartupLog log;
    log.heading("Detecting Hardware...");
    log.label("CPU");
    log.value("???");
    log.label("a label far longer than the value column of fifty characters");
    log.value("7");
    log.skipLine();
    log.heading("Exception: Not enough RAM");

    auto lines = log.plainLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "  Detecting Hardware...");
    EXPECT_EQ(lines[1], "  CPU" + std::string(50 - 5, ' ') + "???");
    EXPECT_EQ(lines[2].substr(lines[2].size() - 3), "  7");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "  Exception: Not enough RAM");
}

} // namespace
