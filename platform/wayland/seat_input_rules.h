// What the seat's events mean to a run that ends on input (SeatInputRules): which of them count
// as a key, a button or a pointer motion. The listeners of WaylandOutputWindow pass each event
// through here, so that the rules are plain code, tried without a compositor.
//
// Until the run has shown its first picture, the seat's state is what the user left when the
// program started (the Enter that started it from a terminal still held, the pointer at rest
// under the new surface): a key, a button or a touch going down counts, and a pointer's motion
// (the form lets ten of them pass). Once it shows, a keyboard that arrives with keys held (one
// plugged in, a KVM switch, a virtual keyboard) or a release of a key never seen pressed is the
// user's doing and counts as a key, and a pointer that enters counts as a motion.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>

class SeatInputRules {
public:
    enum class Input { none, key, button, motion };

    // The run's first picture is on the output.
    void shown() { pictureShown = true; }

    // A keyboard's focus came with these keys held (wl_keyboard.enter).
    Input keyboardEntered(const uint32_t* heldKeys, size_t count);
    // The keyboard's focus went, or the keyboard itself: what it held is no longer told.
    void keyboardLeft() { held.reset(); }
    Input key(uint32_t code, bool pressed);
    Input button(bool pressed) { return pressed ? Input::button : Input::none; }
    // A wheel is a button on X11, and ends the run there.
    Input axis() { return Input::button; }
    Input touchDown() { return Input::button; }
    // Positions in wl_fixed_t.
    Input pointerEntered(int32_t x, int32_t y);
    Input pointerMoved(int32_t x, int32_t y);

private:
    // Evdev's key codes end at KEY_MAX (0x2ff); a code beyond is not remembered.
    static constexpr size_t keyCodes = 0x300;

    bool pictureShown = false;
    std::bitset<keyCodes> held;
    // The last enter counted as a motion, and where it was (see pointerEntered).
    bool enterCounted = false;
    int32_t enteredX = 0;
    int32_t enteredY = 0;
};
