// The hotel-link adapter's state for the host's status line.
#include "varnel_dm.h"

#include "value_conversion.h"

#include <fstream>
#include <string>

namespace mod_varnel {

namespace {

// Non-empty lines of a queue or cache file; 0 when it does not exist.
int64_t CountLines(const std::string& path) {
    std::ifstream in(path);
    int64_t count = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line != "\r")
            ++count;
    }
    return count;
}

std::string Plural(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

rtl::TStatus TvarnelDM::status() const {
    const std::string queueFolder = IncludeTrailingPathDelimiter(QueueFolder(*configuration_));
    // Tickets still in the link library's queue, and lines in the cache that
    // have not reached the spool file yet.
    const int64_t tickets =
        CountLines(queueFolder + "TicketsOut.txt") + CountLines(cacheFileName());
    const int64_t roomStates = CountLines(queueFolder + "RoomStates.txt");
    const std::string link =
        !driver_ ? "not loaded" : (linkConnected_ ? "connected" : "disconnected");

    rtl::TStatus status;
    status.fields = {{"link", link},
                     {"connected", linkConnected_},
                     {"tickets_waiting", tickets},
                     {"room_states_waiting", roomStates}};
    status.lastError = linkError_;
    // Before its first use the library is not loaded yet: nothing is wrong then.
    if (driver_ && !linkConnected_)
        status.attention = {"hotel link: disconnected"};
    status.summary = "hotel link: " + link + "; " +
                     Plural(tickets, "ticket waiting", "tickets waiting") + ", " +
                     Plural(roomStates, "room state waiting", "room states waiting");
    return status;
}

} // namespace mod_varnel
