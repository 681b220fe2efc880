#include "rtl/numbers.h"

#include <charconv>

namespace rtl {

int IntOr(std::string_view text, int fallback) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    // from_chars takes a minus sign only.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return fallback;
    }
    if (text.empty())
        return fallback;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return fallback;
    return value;
}

} // namespace rtl
