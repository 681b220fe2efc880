#include "text_utils.h"

#include <charconv>

namespace tellum {

namespace {
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}
} // namespace

std::string Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

int IntOr(std::string_view text, int fallback) {
    std::string trimmed = Trim(text);
    std::string_view digits = trimmed;
    // from_chars takes a minus sign only.
    const bool plus = !digits.empty() && digits.front() == '+';
    if (plus)
        digits.remove_prefix(1);
    if (digits.empty() || (plus && digits.front() == '-'))
        return fallback;
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return fallback;
    return value;
}

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

} // namespace tellum
