#include "platform/timer.h"

#include <QTimer>

namespace platform {

struct Timer::Impl {
    QTimer timer;
    std::function<void()> onTick;
};

Timer::Timer(std::function<void()> onTick) : impl_(std::make_unique<Impl>()) {
    impl_->onTick = std::move(onTick);
    impl_->timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&impl_->timer, &QTimer::timeout, [impl = impl_.get()] {
        if (impl->onTick)
            impl->onTick();
    });
}

Timer::~Timer() = default;

void Timer::setOnTick(std::function<void()> onTick) { impl_->onTick = std::move(onTick); }

void Timer::setInterval(uint32_t ms) { impl_->timer.setInterval(int(std::min<uint32_t>(ms, 0x7fffffff))); }

uint32_t Timer::interval() const { return uint32_t(impl_->timer.interval()); }

void Timer::start() {
    // QTimer::start restarts a running timer; a message-loop timer goes on unchanged.
    if (!impl_->timer.isActive())
        impl_->timer.start();
}

void Timer::stop() { impl_->timer.stop(); }

bool Timer::running() const { return impl_->timer.isActive(); }

} // namespace platform
