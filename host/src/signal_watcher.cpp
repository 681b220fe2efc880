#include "signal_watcher.h"

#include "platform/error.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace host {

namespace {

const int WatchedSignals[] = {SIGTERM, SIGINT};

sigset_t WatchedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signo : WatchedSignals)
        sigaddset(&set, signo);
    return set;
}

} // namespace

struct SignalWatcher::Impl {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void(int)> onSignal;
};

void SignalWatcher::BlockSignals() {
    const sigset_t set = WatchedSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : impl_(std::make_unique<Impl>()) {
    impl_->onSignal = std::move(onSignal);
    BlockSignals();
    const sigset_t set = WatchedSet();
    impl_->fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (impl_->fd < 0)
        throw platform::Error("Cannot watch the stop signals: " + platform::SystemErrorText(errno),
                              errno);
    impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fd, QSocketNotifier::Read);
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [impl = impl_.get()] {
        signalfd_siginfo info{};
        while (::read(impl->fd, &info, sizeof info) == ssize_t(sizeof info)) {
            if (impl->onSignal)
                impl->onSignal(int(info.ssi_signo));
        }
    });
}

SignalWatcher::~SignalWatcher() {
    impl_->notifier.reset();
    // A signal that came during the stop has been answered by it already.
    signalfd_siginfo info{};
    while (::read(impl_->fd, &info, sizeof info) == ssize_t(sizeof info)) {
    }
    ::close(impl_->fd);
    for (int signo : WatchedSignals)
        ::signal(signo, SIG_DFL);
    const sigset_t set = WatchedSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace host
