// A message-loop timer: its ticks arrive only while the owning thread dispatches
// events, never re-entering a running tick handler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class Timer {
public:
    explicit Timer(std::function<void()> onTick = {});
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void setOnTick(std::function<void()> onTick);
    void setInterval(uint32_t ms);
    uint32_t interval() const;
    // Starting a running timer changes nothing (its phase is kept).
    void start();
    void stop();
    bool running() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
