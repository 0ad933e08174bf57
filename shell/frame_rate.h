// Counts the frames of a run and the time between the first and the last, for --report-fps.
#pragma once

#include <chrono>
#include <cstdint>

struct FrameRate {
    using Clock = std::chrono::steady_clock;

    void frame(Clock::time_point now = Clock::now()) {
        if (frames == 0) {
            first = now;
        }
        last = now;
        ++frames;
    }

    // Frames per second over the frames seen; 0 until two frames give a time between them.
    double perSecond() const {
        const double seconds = std::chrono::duration<double>(last - first).count();
        return frames > 1 && seconds > 0 ? (frames - 1) / seconds : 0;
    }

    uint64_t frames = 0;
    Clock::time_point first{};
    Clock::time_point last{};
};
