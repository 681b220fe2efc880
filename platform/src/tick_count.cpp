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
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return uint32_t(ms); // wraps every 49.7 days, like the counter it replaces
}

} // namespace

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
