// Turns signals into calls on the main thread's event loop. The signals are
// blocked in every thread and read from a signalfd by a thread of the
// watcher's own, so no signal handler runs at all: libraries the plug-ins load
// may install handlers of their own (the Firebird client shuts every database
// attachment down from a thread of its own on SIGTERM and SIGINT), and those
// must not race with the host's orderly stop of the plug-ins. A stop signal
// also raises the platform's stop request at once, from the watcher's thread,
// which ends any wait the main thread is in (a link-library command, a modem
// conversation blocked in a serial read) so the main thread gets to the call.
#pragma once

#include <functional>
#include <memory>

namespace host {

class SignalWatcher {
public:
    // Blocks the watched signals in the calling thread (threads started later
    // inherit the mask) and ignores SIGPIPE, which a peer that hangs up would
    // otherwise raise. Call it first thing in main, before any thread exists.
    static void BlockSignals();
    // Whether `signo` asks the program to stop (SIGHUP does not: it asks to
    // reopen the log file).
    static bool IsStopSignal(int signo);
    // "SIGTERM", "SIGHUP", ...
    static const char* Name(int signo);

    // Blocks the signals (see BlockSignals) and watches them; `onSignal` gets
    // the signal number on the main thread.
    explicit SignalWatcher(std::function<void(int)> onSignal);
    // Ends the watching thread, puts the default actions back (any handler a
    // library installed is dropped) and unblocks the signals.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace host
