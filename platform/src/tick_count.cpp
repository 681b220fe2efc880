#include "platform/tick_count.h"

#include <ctime>
#include <mutex>

namespace platform {

namespace {

std::mutex sourceMutex;
std::function<uint32_t()>& source() {
    static std::function<uint32_t()> fn;
    return fn;
}

uint32_t MonotonicMs() {
    // Wraps every 49.7 days, like the counter it replaces.
    return uint32_t(MonotonicMicroseconds() / 1000u);
}

} // namespace

uint64_t MonotonicMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

uint32_t TickCount() {
    std::function<uint32_t()> fn;
    {
        std::lock_guard lock(sourceMutex);
        fn = source();
    }
    return fn ? fn() : MonotonicMs();
}

void SetTickSource(std::function<uint32_t()> fn) {
    std::lock_guard lock(sourceMutex);
    source() = std::move(fn);
}

} // namespace platform
