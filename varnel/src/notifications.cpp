#include "notifications.h"

#include "varnel/varnel.h"

#include "platform/messages.h"

#include <exception>

namespace varnel {

namespace {

struct Row {
    const char* name;
    std::optional<QueueId> queue;
};

constexpr Row Rows[NotificationCount] = {
    {"Ticket for incoming call from HL driver", QueueId::TicketsIn},
    {"Ticket for outgoing call from HL driver", QueueId::TicketsOut},
    {"Wake up event from HL driver", QueueId::WakeUps},
    {"Room status event from HL driver", QueueId::RoomStates},
    {"End of full reinitialization", QueueId::FullReinits},
    {"End of partial reinitialization", QueueId::PartReinits},
    {"Checkin from reception set", QueueId::CheckIns},
    {"Checkout from reception set", QueueId::CheckOuts},
    {"Phone allocation from reception set", QueueId::PhoneAllocs},
    {"Data modification from reception set", QueueId::Modifications},
    {"Connected to HL driver", std::nullopt},
    {"Disconnected from HL driver", std::nullopt},
};

} // namespace

const char* NotificationName(Notification n) {
    return Rows[size_t(n)].name;
}

std::optional<Notification> NotificationNamed(std::string_view name) {
    for (size_t i = 0; i < NotificationCount; ++i)
        if (name == Rows[i].name)
            return Notification(i);
    return std::nullopt;
}

std::optional<QueueId> QueueOf(Notification n) {
    return Rows[size_t(n)].queue;
}

RegisteredMessages RegisteredMessages::Register() {
    RegisteredMessages messages;
    for (size_t i = 0; i < NotificationCount; ++i)
        messages.ids_[i] = platform::RegisterMessage(NotificationName(Notification(i)));
    return messages;
}

Notifier::Notifier(RegisteredMessages messages) : messages_(messages), bus_(VARNEL_BUS_NAME) {}

void Notifier::announce(Notification n, uintptr_t wParam, intptr_t lParam) {
    std::exception_ptr error;
    try {
        platform::Broadcast(messages_.id(n), wParam, lParam);
    } catch (...) {
        error = std::current_exception();
    }
    // wParam and lParam are 32-bit numbers of the protocol (0 or 1, a room or line).
    bus_.send({VARNEL_BUS_PATH,
               VARNEL_BUS_INTERFACE,
               VARNEL_BUS_SIGNAL,
               {std::string(NotificationName(n)), uint32_t(wParam), int32_t(lParam)}});
    if (error)
        std::rethrow_exception(error);
}

} // namespace varnel
