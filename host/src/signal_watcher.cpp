#include "signal_watcher.h"

#include "platform/error.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace host {

namespace {

int writeEnd = -1; // the only state the handler touches

void OnSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(writeEnd, &byte, 1);
    errno = saved;
}

const int WatchedSignals[] = {SIGTERM, SIGINT};

} // namespace

struct SignalWatcher::Impl {
    int fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void(int)> onSignal;
};

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : impl_(std::make_unique<Impl>()) {
    impl_->onSignal = std::move(onSignal);
    if (::pipe2(impl_->fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw platform::Error("Cannot create the signal pipe: " + platform::SystemErrorText(errno),
                              errno);
    writeEnd = impl_->fds[1];
    impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fds[0], QSocketNotifier::Read);
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [impl = impl_.get()] {
        unsigned char byte = 0;
        while (::read(impl->fds[0], &byte, 1) == 1) {
            if (impl->onSignal)
                impl->onSignal(byte);
        }
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : WatchedSignals)
        ::sigaction(signo, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    for (int signo : WatchedSignals)
        ::signal(signo, SIG_DFL);
    writeEnd = -1;
    impl_->notifier.reset();
    ::close(impl_->fds[0]);
    ::close(impl_->fds[1]);
}

} // namespace host
