#include "bus_status_log.h"

#include "status_object.h"

#include "rtl/logger.h"

#include <string>

namespace host {

namespace {
const char* const Source = "pbxhost";

// What a channel's name is for, as the log lines say it.
struct Purpose {
    const char* connected;   // what goes on while connected
    const char* unavailable; // what is missing meanwhile
};

Purpose PurposeOf(const std::string& busName) {
    if (busName == StatusBusName)
        return {"serves the host's status", "pbxhost --status cannot ask this host"};
    return {"sends its notifications", "its notifications reach only this process"};
}
} // namespace

BusStatusLog::BusStatusLog()
    : watch_([](const platform::BusStatus& status) {
          using State = platform::BusStatus::State;
          const Purpose purpose = PurposeOf(status.busName);
          switch (status.state) {
          case State::Connected:
              rtl::TLogger::debug(Source, "System bus connected (%s): %s %s", status.detail,
                                  status.busName, purpose.connected);
              break;
          case State::NameNotOwned:
              if (status.busName == StatusBusName)
                  rtl::TLogger::warn(Source, "System bus name %s not granted (%s): %s",
                                     status.busName, status.detail, purpose.unavailable);
              else
                  rtl::TLogger::warn(Source,
                                     "System bus name %s not granted (%s): programs that wait "
                                     "for signals from that name miss the notifications",
                                     status.busName, status.detail);
              break;
          case State::Unavailable:
              rtl::TLogger::warn(Source, "System bus unavailable for %s (%s): %s", status.busName,
                                 status.detail, purpose.unavailable);
              break;
          }
      }) {}

} // namespace host
