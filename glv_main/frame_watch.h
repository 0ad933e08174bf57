// A watch on long runs (scripts/soak): once a second it reports any OpenGL error and, when
// asked, the frames presented so far, on standard error. The error check is on in debug builds
// and whenever KELVARA_WATCH is set; the frame count only with KELVARA_WATCH. Otherwise a
// frame pays one test.
#pragma once

#include <chrono>
#include <cstdint>

class FrameWatch {
public:
    FrameWatch();
    // Called after each presented frame; allocates nothing.
    void presented();

private:
    using Clock = std::chrono::steady_clock;
    bool checkErrors = false;
    bool countFrames = false;
    uint64_t frames = 0;
    Clock::time_point start;
    Clock::time_point next;
};
