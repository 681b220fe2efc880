// The wire format of the hotel-link protocol: control bytes, the XOR checksum of
// request bodies, and the framing of what the link sends.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

inline constexpr char Stx = '\x02';
inline constexpr char Etx = '\x03';
inline constexpr char Ack = '\x06';
inline constexpr char Nak = '\x15';

// Sent each time a connection is established: "@" and four 0xFF bytes, no checksum.
inline constexpr std::string_view HandshakeBody{"@\xFF\xFF\xFF\xFF", 5};
// Sent every keep-alive interval: "$" and four 0xFF bytes, no checksum.
inline constexpr std::string_view KeepAliveBody{"$\xFF\xFF\xFF\xFF", 5};
// The acknowledgement of a received frame goes out bare, without STX/ETX.
inline constexpr std::string_view AckBody{"\x06", 1};

// XOR of every byte of the body, as two upper-case hexadecimal digits.
std::string XorChecksum(std::string_view body);

// The body followed by its checksum (every hotel request ends so).
std::string WithChecksum(std::string_view body);

// STX + body + ETX, except the bare acknowledgement byte, which goes out alone.
std::string FrameBytes(std::string_view body);

} // namespace varnel
