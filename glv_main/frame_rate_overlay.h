// The frame rate drawn over each frame in the bottom-left corner (host mode's "--fps"), with a
// small built-in bitmap font, so that it needs nothing but OpenGL 1.1 on any target.
#pragma once

#include <chrono>

class FrameRateOverlay {
public:
    using Clock = std::chrono::steady_clock;

    // Counts a frame shown at now; the text is renewed about twice a second.
    void frame(Clock::time_point now = Clock::now());
    // Draws the text over a width x height view, leaving every GL setting as it found it.
    // Allocates nothing.
    void draw(int width, int height) const;

    // The text shown: empty until half a second of frames has been counted, then as
    // "12.3 fps".
    const char* text() const { return shown; }

private:
    char shown[24] = "";
    Clock::time_point since{};
    long framesSince = -1; // -1: no frame yet
};
