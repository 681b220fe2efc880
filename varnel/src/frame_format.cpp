#include "frame_format.h"

#include <cstdint>

namespace varnel {

std::string XorChecksum(std::string_view body) {
    uint8_t sum = 0;
    for (const char c : body)
        sum ^= uint8_t(c);
    static constexpr char Digits[] = "0123456789ABCDEF";
    return {Digits[sum >> 4], Digits[sum & 0x0F]};
}

std::string WithChecksum(std::string_view body) {
    std::string out(body);
    out += XorChecksum(body);
    return out;
}

std::string FrameBytes(std::string_view body) {
    if (body == AckBody)
        return std::string(body);
    std::string out;
    out.reserve(body.size() + 2);
    out += Stx;
    out += body;
    out += Etx;
    return out;
}

} // namespace varnel
