// Turns SIGTERM and SIGINT into a call on the main thread's event loop. The
// signal handler only writes the signal number into a pipe; a socket notifier
// reads it during event dispatch and runs the callback there.
#pragma once

#include <functional>
#include <memory>

namespace host {

class SignalWatcher {
public:
    // Installs the handlers; `onSignal` gets the signal number.
    explicit SignalWatcher(std::function<void(int)> onSignal);
    // Puts the default handlers back.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace host
