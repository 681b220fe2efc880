// The host's side of systemd's notification protocol (Type=notify): READY=1
// once every plug-in has started, WATCHDOG=1 from the event loop at half the
// watchdog interval (the pings also come while a command waits, since waits
// dispatch events, so only a main thread that is truly stuck misses them),
// STATUS= with the plug-ins' one-line states whenever they change, and
// STOPPING=1. Without NOTIFY_SOCKET nothing is sent and nothing changes.
#pragma once

#include "rtl/context.h"

#include <memory>
#include <string>

namespace host {

class ServiceNotifier {
public:
    // Looks at the environment once (NOTIFY_SOCKET, WATCHDOG_USEC).
    explicit ServiceNotifier(rtl::Ref<rtl::IContext> context);
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    bool enabled() const;
    // READY=1 with the first status line, then the watchdog and status timers.
    void ready();
    // STOPPING=1 with a status saying so; the timers stop.
    void stopping();
    // Sends STATUS= now when the line changed since the last one sent.
    void updateStatus();

    // The status line of every plug-in that reports one, joined by "; ", in
    // registration order: "manager: last cycle 10:42:05 ok, 0 events waiting;
    // hotel link: connected; 0 tickets waiting, 0 room states waiting".
    static std::string StatusLine(rtl::IContext* context);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace host
