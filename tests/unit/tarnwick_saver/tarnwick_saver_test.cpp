#include "tarnwick_saver/tarnwick_saver.h"

#include "platform/exception.h"
#include "saver/saver.h"

#include <gtest/gtest.h>

namespace {

// Without a desktop picture or its texture there is nothing to show: a clear message, no crash.
TEST(TarnwickSaver, SetUpAndFrameRefuseARunWithoutTheDesktop) {
    Saver saver;
    EXPECT_THROW(saverSetup(saver), Exception);
    EXPECT_TRUE(saver.textures.empty());
    EXPECT_THROW(saverFrame(saver), Exception);
}

TEST(TarnwickSaver, CustomizationHasNoLinesAndReadsNothing) {
    std::vector<std::string> lines{"// a comment", "anything", "/"};
    saverParseCustomization(lines);
    EXPECT_EQ(lines.size(), 3u);
    saverDefaultCustomization(lines);
    EXPECT_TRUE(lines.empty());
}

} // namespace
