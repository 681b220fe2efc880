// The twelve registered messages the link broadcasts, in the order they are registered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

// The message numbers of the twelve names, registered with the platform.
class RegisteredMessages {
public:
    // Registers every name (the same name always gives the same number).
    static RegisteredMessages Register();
    uint32_t id(Notification n) const { return ids_[size_t(n)]; }

private:
    std::array<uint32_t, NotificationCount> ids_{};
};

} // namespace varnel
