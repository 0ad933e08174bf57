// The processor's time-stamp counter, read once with no serialisation.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <x86intrin.h>
inline uint64_t readCycleCounter() {
    return __rdtsc();
}
#else
#include <chrono>
// No time-stamp counter on this processor: nanoseconds stand in, which reads as a 1 GHz clock.
inline uint64_t readCycleCounter() {
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}
#endif
