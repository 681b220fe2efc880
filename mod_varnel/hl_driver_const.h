// Names the hotel-link binding shares with the link library: the library's file
// name and the ten notifications it broadcasts for new driver events, under the
// exact names the library registers them with.
#pragma once

#include <array>
#include <cstddef>

namespace mod_varnel {

// Loaded from "varnel.path" when set, else by the system's search order.
inline constexpr const char* VarnelLibraryFile = "libVarnel.so";

// The notifications the binding registers, in this order. The library's two
// connection notifications are not among them.
enum class Notification : std::size_t {
    InCallTicket,
    OutCallTicket,
    WakeUp,
    RoomStatus,
    FullReinitDone,
    PartialReinitDone,
    CheckIn,
    CheckOut,
    PhoneAlloc,
    Modify,
};
inline constexpr std::size_t NotificationCount = 10;

inline constexpr std::array<const char*, NotificationCount> NotificationNames = {
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
};

} // namespace mod_varnel
