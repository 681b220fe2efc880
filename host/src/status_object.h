// The host's state as a read-only object on the system bus, for `pbxhost --status`
// and monitoring systems: the plug-ins running, what each reports, what needs an
// operator now and the last errors. Served under a bus name of its own while the host
// runs; reading it never makes the host wait.
#pragma once

#include "platform/bus_properties.h"
#include "platform/bus_signals.h"
#include "rtl/context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host {

inline constexpr const char* StatusBusName = "org.hotelpbxlink.PbxHost";
inline constexpr const char* StatusBusPath = "/org/hotelpbxlink/PbxHost";
inline constexpr const char* StatusBusInterface = "org.hotelpbxlink.PbxHost.Status1";

// What the host itself knows: who it is and which plug-ins it was asked to run.
struct HostFacts {
    int64_t pid = 0;
    int64_t startedAt = 0; // seconds since the epoch
    std::string configFile = {};
    size_t pluginsConfigured = 0;
    std::vector<std::string> pluginsRunning = {};
};

// The properties as they stand now (see docs/operating.md for each):
// Pid, StartedAt, ConfigFile, PluginsRunning, Summary, Healthy, Attention,
// LastError, ManagerLastCycle, ManagerLastResult, EventsWaiting, HotelLink,
// TicketsWaiting, RoomStatesWaiting and Fields.
std::vector<platform::BusProperty> StatusProperties(rtl::IContext* context, const HostFacts& facts);

class StatusObject {
public:
    // Connects to the system bus in the background and serves the object from then
    // on, after every reconnection too; needs the application object.
    StatusObject(rtl::Ref<rtl::IContext> context, HostFacts facts);

private:
    rtl::Ref<rtl::IContext> context_;
    HostFacts facts_;
    platform::BusSignalChannel channel_;
};

} // namespace host
