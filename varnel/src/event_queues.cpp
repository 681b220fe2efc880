#include "event_queues.h"

#include "platform/files.h"

namespace varnel {

const char* QueueFileName(QueueId id) {
    static constexpr const char* Names[QueueCount] = {
        "TicketsOut.txt",    "TicketsIn.txt",   "Nodes.txt",       "WakeUps.txt",
        "RoomStates.txt",    "CheckIns.txt",    "CheckOuts.txt",   "PhoneAllocs.txt",
        "Modifications.txt", "FullReinits.txt", "PartReinits.txt",
    };
    return Names[size_t(id)];
}

EventQueues::EventQueues(const std::string& folder) {
    platform::CreateFolders(folder);
    // Every change of a queue writes a new file beside the old one: a folder that
    // exists but cannot be written would lose every event, so it fails here.
    platform::CheckCanCreateBeside(folder + QueueFileName(QueueId(0)));
    for (size_t i = 0; i < QueueCount; ++i)
        queues_[i] = std::make_unique<TOxLogFile>(folder + QueueFileName(QueueId(i)));
}

} // namespace varnel
