// Recognition of received frames: a frame is known only by its exact total length
// (STX and ETX included) together with its message letter.
#pragma once

#include <optional>
#include <string_view>

namespace varnel {

enum class FrameKind {
    NodeReport,              // "$", 7 bytes
    CallTicket,              // "J", 74 bytes
    CheckIn,                 // "A", 61 bytes, from a reception set
    PhoneAllocation,         // "H", 22 bytes
    Modification,            // "M", 61 bytes, from a reception set
    CheckOut,                // "D", 13 bytes, from a reception set
    RoomStatus,              // "C", 17 bytes
    WakeUp,                  // "P", 38 bytes
    FullReinitialization,    // "U", 96 bytes
    PartialReinitialization, // "U", 26 bytes
    Answer,                  // "R", 19 bytes: the answer to a hotel request
};

// The kind of a whole frame (STX first), or nothing when no row matches.
std::optional<FrameKind> ClassifyFrame(std::string_view frame);

} // namespace varnel
