#include "platform/stop_request.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <atomic>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<bool> g_requested{false};

// Created on first use and kept for the process's life.
int EventFd() {
    static const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd;
}

} // namespace

void RequestStop() {
    const int fd = EventFd();
    if (g_requested.exchange(true))
        return;
    if (fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    }
    // A wait of the main thread may be blocked in its dispatcher right now.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (QAbstractEventDispatcher* dispatcher =
                QAbstractEventDispatcher::instance(app->thread()))
            dispatcher->wakeUp();
    }
}

bool StopRequested() {
    return g_requested.load();
}

int StopRequestFd() {
    return EventFd();
}

void ClearStopRequest() {
    const int fd = EventFd();
    if (fd >= 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
    }
    g_requested.store(false);
}

} // namespace platform
