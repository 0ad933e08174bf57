// The idle watcher's command line: "--idle SECONDS [RUN ARGUMENTS...]".
#include "platform/idle_watch.h"

#include "platform/exception.h"

#include <gtest/gtest.h>

namespace {

std::string errorOf(const std::vector<std::string>& args) {
    try {
        idleRequestOf(args);
    } catch (const Exception& e) {
        return e.message;
    }
    return "";
}

TEST(IdleRequest, TakesTheSecondsAndPassesTheRestToTheRun) {
    const IdleRequest request = idleRequestOf({"--idle", "600", "--ignore-requirements", "--fps"});
    EXPECT_EQ(request.seconds, 600);
    EXPECT_EQ(request.runArguments, (std::vector<std::string>{"--ignore-requirements", "--fps"}));
    EXPECT_TRUE(idleRequestOf({"--idle", "1"}).runArguments.empty());
    EXPECT_EQ(idleRequestOf({"--idle", "86400"}).seconds, 86400);
}

TEST(IdleRequest, RefusesWhatIsNoNumberOfSecondsWithALineThatSaysSo) {
    EXPECT_NE(errorOf({"--idle"}).find("needs the seconds"), std::string::npos);
    for (const char* bad : {"", "0", "-5", "+5", "10m", "1.5", "abc", " 60", "86401",
                            "99999999999999999999", "0x10"}) {
        const std::string error = errorOf({"--idle", bad});
        EXPECT_NE(error.find(std::string("\"") + bad +
                             "\" is not a number of seconds from 1 to "
                             "86400"),
                  std::string::npos)
            << "for \"" << bad << "\": " << error;
    }
}

} // namespace
