#include "platform/printable.h"

namespace platform {

std::string Printable(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20) {
            text += c;
        } else {
            text += '<';
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
            text += '>';
        }
    }
    return text;
}

} // namespace platform
