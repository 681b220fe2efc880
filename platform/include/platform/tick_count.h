// A 32-bit millisecond counter of a monotonic clock, the time base of every wait.
// Differences are taken in unsigned 32-bit arithmetic, so they stay right across
// the counter's wrap-around. Tests may substitute the clock source.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

uint32_t TickCount();

// Replaces the clock source (for tests: wrap-around, large keys); an empty
// function restores the monotonic clock.
void SetTickSource(std::function<uint32_t()> source);

// Microseconds of CLOCK_MONOTONIC, the clock sd-bus gives its deadlines in; never
// substituted, never wrapping.
uint64_t MonotonicMicroseconds();

// Milliseconds elapsed since `start`, modulo 2^32.
inline uint32_t TicksSince(uint32_t start) {
    return TickCount() - start;
}

} // namespace platform
