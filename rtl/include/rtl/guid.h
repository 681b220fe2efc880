// Interface identities: 128-bit GUIDs written in the registry form
// "{8AFC6F67-8092-49B1-B86F-F131FD9DC1E2}", parsed at compile time so that
// every interface declares its identity as the text it is known by.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rtl {

struct Guid {
    std::array<uint8_t, 16> bytes{};

    friend constexpr bool operator==(const Guid&, const Guid&) = default;

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", 38 characters, upper-case digits.
    std::string toString() const;

    // Reads the registry form (braces required, digits in either case). In a
    // constant expression a malformed text fails the build; at run time it raises
    // std::invalid_argument naming the text.
    static constexpr Guid parse(std::string_view text);
};

namespace detail {
constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
[[noreturn]] void BadGuid(std::string_view text);
} // namespace detail

constexpr Guid Guid::parse(std::string_view text) {
    // Positions of the dashes in the 38-character form.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        detail::BadGuid(text);
    Guid g;
    size_t out = 0;
    for (size_t i = 1; i < 37;) {
        if (text[i] == '-') {
            ++i;
            continue;
        }
        const int hi = detail::HexValue(text[i]);
        const int lo = detail::HexValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            detail::BadGuid(text);
        g.bytes[out++] = uint8_t(hi * 16 + lo);
        i += 2;
    }
    return g;
}

// Shorthand for interface declarations: static constexpr Guid iid = MakeGuid("{...}");
consteval Guid MakeGuid(const char* text) {
    return Guid::parse(text);
}

} // namespace rtl
