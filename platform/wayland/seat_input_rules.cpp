#include "platform/wayland/seat_input_rules.h"

SeatInputRules::Input SeatInputRules::keyboardEntered(const uint32_t* heldKeys, size_t count) {
    held.reset();
    for (size_t i = 0; i < count; ++i)
        if (heldKeys[i] < keyCodes)
            held.set(heldKeys[i]);
    return pictureShown && count > 0 ? Input::key : Input::none;
}

SeatInputRules::Input SeatInputRules::key(uint32_t code, bool pressed) {
    const bool known = code < keyCodes;
    if (pressed) {
        if (known)
            held.set(code);
        return Input::key;
    }
    // A key pressed on a keyboard this run did not have yet comes as its release alone.
    const bool seenPressed = known && held.test(code);
    if (known)
        held.reset(code);
    return pictureShown && known && !seenPressed ? Input::key : Input::none;
}

SeatInputRules::Input SeatInputRules::pointerEntered(int32_t x, int32_t y) {
    // An enter while the surface first shows is the pointer at rest under it. Once it shows,
    // the pointer comes in by moving, and some compositors report that move as the enter
    // alone (sway 1.10 does): it counts as a motion. Others follow the enter with a motion to
    // the same place, which must not count twice.
    if (!pictureShown)
        return Input::none;
    enterCounted = true;
    enteredX = x;
    enteredY = y;
    return Input::motion;
}

SeatInputRules::Input SeatInputRules::pointerMoved(int32_t x, int32_t y) {
    const bool echoOfEnter = enterCounted && x == enteredX && y == enteredY;
    enterCounted = false;
    return echoOfEnter ? Input::none : Input::motion;
}
