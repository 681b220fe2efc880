// Frames of the hotel-link protocol as the HL driver simulator sees them: the layouts
// of the frames the driver sends (events and answers) and of the requests it
// receives, building frames from field values, and printing bytes readably.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hlsim {

// One field of a frame: 1-based position (STX is position 1, the letter 2) and width.
struct FieldLayout {
    std::string_view name;
    size_t position;
    size_t width;
    std::string_view defaultValue = {};
};

struct FrameLayout {
    std::string_view kind;        // name used in commands, e.g. "ticket"
    std::string_view description; // e.g. "call ticket"
    char letter;
    size_t length; // whole frame, STX and ETX included
    bool checksum; // two checksum characters before the ETX
    std::vector<FieldLayout> fields;
};

// Frames the driver sends: "ticket", "checkin", "checkout", "phone", "modification",
// "roomstatus", "wakeup", "fullreinit", "partialreinit", "node", "answer".
const std::vector<FrameLayout>& DriverFrameLayouts();
const FrameLayout* FindDriverLayout(std::string_view kind);

// Frames the link library sends: the hotel requests, the handshake and the keep-alive.
const std::vector<FrameLayout>& LinkFrameLayouts();

using FieldValues = std::map<std::string, std::string, std::less<>>;

// Builds a driver frame of the given kind. Values are right-aligned and blank-padded
// in their fields; missing fields take the layout's default (blank for most). The
// checksum (XOR of the bytes from the letter to the last field byte, two upper-case
// hexadecimal digits) is written last, so in a 61-byte "M" frame it also fills the
// field at position 59. Raises std::invalid_argument naming an unknown kind or field,
// or a value longer than its field.
std::string BuildFrame(std::string_view kind, const FieldValues& values);

// The answer frame to a request: room, answer letter, reason letter (' ' = blank).
std::string AnswerFrame(std::string_view room, char answer, char reason = ' ',
                        std::string_view code = "0000");

// XOR of the bytes as two upper-case hexadecimal digits.
std::string XorChecksum(std::string_view bytes);

// <STX>, <ETX>, <ACK>, <NAK>; other bytes below 0x20, 0x7F and above as <hh>.
std::string Readable(std::string_view bytes);

// The frame's kind and fields on one line, e.g. "check-in request room=101 name=SMITH";
// `fromDriver` selects the driver's layouts, else the link's.
std::string Describe(std::string_view frame, bool fromDriver);

// A hotel request received from the link.
struct Request {
    std::string frame; // STX to ETX
    char letter = 0;   // A, D, H, I, M or Z
    std::string type;  // the letter, with the kind letter for H and Z: "HR", "HI", "ZF", "ZP"
    std::string room;  // positions 3-10, trimmed
};

// The request in a frame from the link, or nothing for the handshake, the keep-alive
// and anything unknown.
std::optional<Request> ParseRequest(std::string_view frame);

// The bytes at 1-based positions [position, position + width) without blanks (bytes of
// 0x20 or less) at either end.
std::string FieldAt(std::string_view frame, size_t position, size_t width);

} // namespace hlsim
