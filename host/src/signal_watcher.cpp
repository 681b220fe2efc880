#include "signal_watcher.h"

#include "platform/error.h"
#include "platform/stop_request.h"

#include <QCoreApplication>
#include <QObject>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace host {

namespace {

struct WatchedSignal {
    int signo;
    const char* name;
};

// Every signal whose default action ends the process and that is not raised
// by a fault of the process itself (those, like SIGSEGV, cannot be answered
// by an orderly stop). Timer and profiling signals stay with the libraries
// that use them.
const WatchedSignal WatchedSignals[] = {
    {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"},   {SIGHUP, "SIGHUP"},       {SIGQUIT, "SIGQUIT"},
    {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"}, {SIGXCPU, "SIGXCPU"},     {SIGXFSZ, "SIGXFSZ"},
    {SIGIO, "SIGIO"},     {SIGPWR, "SIGPWR"},   {SIGSTKFLT, "SIGSTKFLT"},
};

sigset_t WatchedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const auto& s : WatchedSignals)
        sigaddset(&set, s.signo);
    return set;
}

} // namespace

struct SignalWatcher::Impl {
    int signalFd = -1;
    int quitFd = -1; // tells the thread to end
    std::thread thread;
    QObject receiver; // lives on the main thread; calls posted to it run there
    std::function<void(int)> onSignal;

    void watch() {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {quitFd, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            signalfd_siginfo info{};
            while (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
                const int signo = int(info.ssi_signo);
                if (IsStopSignal(signo))
                    platform::RequestStop();
                QMetaObject::invokeMethod(
                    &receiver,
                    [this, signo] {
                        if (onSignal)
                            onSignal(signo);
                    },
                    Qt::QueuedConnection);
            }
        }
    }
};

void SignalWatcher::BlockSignals() {
    const sigset_t set = WatchedSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

bool SignalWatcher::IsStopSignal(int signo) {
    return signo != SIGHUP;
}

const char* SignalWatcher::Name(int signo) {
    for (const auto& s : WatchedSignals) {
        if (s.signo == signo)
            return s.name;
    }
    return "signal";
}

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : impl_(std::make_unique<Impl>()) {
    impl_->onSignal = std::move(onSignal);
    BlockSignals();
    const sigset_t set = WatchedSet();
    impl_->signalFd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    impl_->quitFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl_->signalFd < 0 || impl_->quitFd < 0) {
        const int code = errno;
        if (impl_->signalFd >= 0)
            ::close(impl_->signalFd);
        throw platform::Error("Cannot watch the stop signals: " + platform::SystemErrorText(code),
                              code);
    }
    impl_->thread = std::thread([impl = impl_.get()] { impl->watch(); });
}

SignalWatcher::~SignalWatcher() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(impl_->quitFd, &one, sizeof one);
    impl_->thread.join();
    // A signal that came during the stop has been answered by it already.
    signalfd_siginfo info{};
    while (::read(impl_->signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
    }
    ::close(impl_->signalFd);
    ::close(impl_->quitFd);
    for (const auto& s : WatchedSignals)
        ::signal(s.signo, SIG_DFL);
    const sigset_t set = WatchedSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace host
