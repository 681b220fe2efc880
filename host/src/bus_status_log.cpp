#include "bus_status_log.h"

#include "rtl/logger.h"

namespace host {

namespace {
const char* const Source = "pbxhost";
} // namespace

BusStatusLog::BusStatusLog()
    : watch_([](const platform::BusStatus& status) {
          using State = platform::BusStatus::State;
          switch (status.state) {
          case State::Connected:
              rtl::TLogger::debug(Source, "System bus connected (%s): %s sends its notifications",
                                  status.detail, status.busName);
              break;
          case State::NameNotOwned:
              rtl::TLogger::warn(Source,
                                 "System bus name %s not granted (%s): programs that wait for "
                                 "signals from that name miss the notifications",
                                 status.busName, status.detail);
              break;
          case State::Unavailable:
              rtl::TLogger::warn(Source,
                                 "System bus unavailable for %s (%s): its notifications reach "
                                 "only this process",
                                 status.busName, status.detail);
              break;
          }
      }) {}

} // namespace host
