// The eleven event queues of the link, one TOxLogFile each in the queue folder.
#pragma once

#include "ox_log_file.h"

#include <array>
#include <memory>
#include <string>

namespace varnel {

// In the order the queues are opened.
enum class QueueId {
    TicketsOut,
    TicketsIn,
    Nodes,
    WakeUps,
    RoomStates,
    CheckIns,
    CheckOuts,
    PhoneAllocs,
    Modifications,
    FullReinits,
    PartReinits,
};
inline constexpr size_t QueueCount = 11;

// The queue's file name, appended directly to the queue folder text.
const char* QueueFileName(QueueId id);

class EventQueues {
public:
    // Creates the folder with every missing parent, proves that files can be created
    // in it, then opens each queue in order from the file folder + name (no separator
    // is inserted). Raises platform::Error naming the folder or file and the reason.
    explicit EventQueues(const std::string& folder);
    TOxLogFile& operator[](QueueId id) { return *queues_[size_t(id)]; }

private:
    std::array<std::unique_ptr<TOxLogFile>, QueueCount> queues_;
};

} // namespace varnel
