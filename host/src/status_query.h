// pbxhost --status: asks the host that runs on this machine for its state over the
// system bus and prints it for a person, with an exit code a monitoring system's
// check can use.
#pragma once

#include "platform/bus_properties.h"

#include <cstdint>
#include <string>

namespace host {

enum StatusExit {
    StatusAllWell = 0,
    StatusNeedsAttention = 1, // also: a host owns the name but does not answer
    StatusNoHost = 2,         // nobody owns the name, or the bus cannot be reached
};

struct StatusReport {
    int exitCode = StatusNoHost;
    std::string text; // lines for a person, each ending in a line break
};

// The report on what the bus answered.
StatusReport ReportOn(const platform::BusPropertiesAnswer& answer);

// Reads the host's status object, waiting at most `timeoutMs`.
StatusReport QueryStatus(uint32_t timeoutMs);

} // namespace host
