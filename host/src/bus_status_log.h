// Writes what the process's system bus channels learn about the bus into the host's
// log: the link library sends its notifications as bus signals but keeps no log of
// its own, so the host says when they reach only this process, and when its own
// status cannot be asked.
#pragma once

#include "platform/bus_signals.h"

namespace host {

// Logs every bus status change while it exists: one warning per outage, one
// warning when a channel's name is not granted, a debug line when signals go out.
class BusStatusLog {
public:
    BusStatusLog();

private:
    platform::BusStatusWatch watch_;
};

} // namespace host
