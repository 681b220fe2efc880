#include "notifications.h"

#include "platform/messages.h"

namespace varnel {

const char* NotificationName(Notification n) {
    static constexpr const char* Names[NotificationCount] = {
        "Ticket for incoming call from HL driver",
        "Ticket for outgoing call from HL driver",
        "Wake up event from HL driver",
        "Room status event from HL driver",
        "End of full reinitialization",
        "End of partial reinitialization",
        "Checkin from reception set",
        "Checkout from reception set",
        "Phone allocation from reception set",
        "Data modification from reception set",
        "Connected to HL driver",
        "Disconnected from HL driver",
    };
    return Names[size_t(n)];
}

RegisteredMessages RegisteredMessages::Register() {
    RegisteredMessages messages;
    for (size_t i = 0; i < NotificationCount; ++i)
        messages.ids_[i] = platform::RegisterMessage(NotificationName(Notification(i)));
    return messages;
}

} // namespace varnel
