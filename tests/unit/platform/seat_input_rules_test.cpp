// What ends a Wayland run: the seat's events as a run reads them, before and after its first
// picture shows, including the keyboards and touch screens that a headless compositor cannot
// give the end-to-end test.
#include "platform/wayland/seat_input_rules.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using Input = SeatInputRules::Input;

constexpr uint32_t enter = 28; // evdev's KEY_ENTER
constexpr uint32_t space = 57;

TEST(SeatInputRules, BeforeTheFirstPictureOnlyWhatGoesDownCounts) {
    SeatInputRules rules;
    // The Enter that started the program from a terminal, held as its surface appears.
    const uint32_t held[] = {enter};
    EXPECT_EQ(rules.keyboardEntered(held, 1), Input::none);
    EXPECT_EQ(rules.key(space, false), Input::none);        // let go before the run showed anything
    EXPECT_EQ(rules.pointerEntered(100, 100), Input::none); // the pointer at rest under it
    EXPECT_EQ(rules.key(space, true), Input::key);
    EXPECT_EQ(rules.button(true), Input::button);
    EXPECT_EQ(rules.button(false), Input::none);
    EXPECT_EQ(rules.touchDown(), Input::button);
    EXPECT_EQ(rules.axis(), Input::button);

    // Once it shows, the Enter seen held at the start is let go: not a key of the user's.
    rules.shown();
    EXPECT_EQ(rules.key(enter, false), Input::none);
}

TEST(SeatInputRules, AfterTheFirstPictureAKeyboardThatComesWithItsKeyEndsTheRun) {
    SeatInputRules rules;
    rules.shown();
    EXPECT_EQ(rules.keyboardEntered(nullptr, 0), Input::none); // a keyboard with no key down
    const uint32_t held[] = {space};
    EXPECT_EQ(rules.keyboardEntered(held, 1), Input::key); // a keyboard switched to, key down
    EXPECT_EQ(rules.key(space, false), Input::none);       // and that key's release
    // A key pressed before this run had the keyboard: only its release comes.
    EXPECT_EQ(rules.key(space, false), Input::key);
    // A key seen going down, then the focus went: its release is not a new key, but after the
    // focus came back the compositor no longer tells which keys were held.
    EXPECT_EQ(rules.key(enter, true), Input::key);
    EXPECT_EQ(rules.key(enter, false), Input::none);
    EXPECT_EQ(rules.key(enter, true), Input::key);
    rules.keyboardLeft();
    EXPECT_EQ(rules.key(enter, false), Input::key);
    // Codes beyond evdev's are not remembered, and a release of one ends nothing.
    EXPECT_EQ(rules.key(0x10000, false), Input::none);
    const uint32_t odd[] = {0xFFFFFFFF};
    EXPECT_EQ(rules.keyboardEntered(odd, 1), Input::key);
}

TEST(SeatInputRules, AnEnterOnceShownIsAMotionAndTheMotionThatRepeatsItIsNot) {
    SeatInputRules rules;
    rules.shown();
    EXPECT_EQ(rules.pointerEntered(10, 20), Input::motion);
    EXPECT_EQ(rules.pointerMoved(10, 20), Input::none); // the same place: the enter's echo
    EXPECT_EQ(rules.pointerMoved(10, 20), Input::motion);
    EXPECT_EQ(rules.pointerEntered(30, 40), Input::motion);
    EXPECT_EQ(rules.pointerMoved(31, 40), Input::motion);
}

} // namespace
