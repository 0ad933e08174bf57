// Waits bounded by a deadline on the steady clock.
#pragma once

#include <chrono>

// The milliseconds left until deadline, 0 once it has passed: a poll()'s time-out.
inline int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
}
