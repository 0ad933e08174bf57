// The idle hook's bookkeeping that both message loops share.
#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MessageLoop, AHandlerThatClearsItselfRunsToItsEndWithWhatItHolds) {
    MessageLoop loop;
    std::string seen;
    const std::string held = "the handler's own copy";
    loop.setIdleHandler(
        [&loop, &seen, held](bool& done) {
            loop.clearIdleHandler();
            seen = held; // still there: the loop keeps the handler until it returns
            done = false;
        },
        0);
    EXPECT_TRUE(loop.callIdleHandler()); // it asked to be called again at once
    EXPECT_EQ(seen, held);
    EXPECT_FALSE(loop.hasIdleHandler());
}

TEST(MessageLoop, AHandlerDoneUntilTheNextMessageAndItsPace) {
    MessageLoop loop;
    int calls = 0;
    loop.setIdleHandler([&calls](bool&) { ++calls; }, 40);
    EXPECT_FALSE(loop.callIdleHandler()); // done as the loop hands it over
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(loop.paceMs(), 40);
    loop.setIdleHandler([](bool&) {}, -5);
    EXPECT_EQ(loop.paceMs(), 0);
    EXPECT_FALSE(loop.terminated());
    loop.terminate();
    EXPECT_TRUE(loop.terminated());
}

} // namespace
