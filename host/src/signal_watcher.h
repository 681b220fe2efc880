// Turns SIGTERM and SIGINT into a call on the main thread's event loop. The
// signals are blocked in every thread and read from a signalfd during event
// dispatch, so no signal handler runs at all: libraries the plug-ins load may
// install handlers of their own (the Firebird client shuts every database
// attachment down from a thread of its own on these signals), and those must
// not race with the host's orderly stop of the plug-ins.
#pragma once

#include <functional>
#include <memory>

namespace host {

class SignalWatcher {
public:
    // Blocks SIGTERM and SIGINT in the calling thread; threads started later
    // inherit the mask. Call it first thing in main, before any thread exists.
    static void BlockSignals();

    // Blocks the signals (see BlockSignals) and watches them; `onSignal` gets
    // the signal number.
    explicit SignalWatcher(std::function<void(int)> onSignal);
    // Puts the default actions back (any handler a library installed is
    // dropped) and unblocks the signals.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace host
