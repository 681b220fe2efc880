// The twelve registered messages the link broadcasts, in the order they are registered,
// and the notifier that announces each one in the process and on the system bus.
#pragma once

#include "event_queues.h"

#include "platform/bus_signals.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace varnel {

enum class Notification {
    InCallTicket,
    OutCallTicket,
    WakeUp,
    RoomStatus,
    FullReinitEnd,
    PartialReinitEnd,
    CheckIn,
    CheckOut,
    PhoneAllocation,
    Modification,
    Connected,
    Disconnected,
};
inline constexpr size_t NotificationCount = 12;

const char* NotificationName(Notification n);
std::optional<Notification> NotificationNamed(std::string_view name);
// The queue whose record the notification announces (none for the connection's two).
std::optional<QueueId> QueueOf(Notification n);

// The message numbers of the twelve names, registered with the platform.
class RegisteredMessages {
public:
    // Registers every name (the same name always gives the same number).
    static RegisteredMessages Register();
    uint32_t id(Notification n) const { return ids_[size_t(n)]; }

private:
    std::array<uint32_t, NotificationCount> ids_{};
};

// Announces notifications: first the registered message in the process, then the
// same notification as a signal on the system bus, in the order they are announced.
// The bus connection is made when the notifier is created (the library's load) and
// never holds up the link; without a bus only the process hears of them.
class Notifier {
public:
    explicit Notifier(RegisteredMessages messages);

    // Raises what the in-process broadcast raises (no application object), after the
    // bus signal has gone out.
    void announce(Notification n, uintptr_t wParam, intptr_t lParam);

private:
    RegisteredMessages messages_;
    platform::BusSignalChannel bus_;
};

} // namespace varnel
