#include "record_text.h"

#include <charconv>

namespace varnel {

std::string GetField(int n, std::string_view text) {
    if (n < 1)
        return {};
    size_t start = 0;
    for (int i = 1; i < n; ++i) {
        const size_t bar = text.find('|', start);
        if (bar == std::string_view::npos)
            return {};
        start = bar + 1;
    }
    const size_t end = text.find('|', start);
    if (end == std::string_view::npos)
        return {};
    std::string field(text.substr(start, end - start));
    if (field.size() > 1) {
        if (field.back() == '\'')
            field.pop_back();
        if (!field.empty() && field.front() == '\'')
            field.erase(0, 1);
    }
    return field;
}

std::string_view EventFields(std::string_view record) {
    const size_t afterKey = record.find('|');
    if (afterKey == std::string_view::npos || record.empty() || record.back() != '|')
        return {};
    const size_t beforeStamp = record.rfind('|', record.size() - 2);
    if (beforeStamp == std::string_view::npos || beforeStamp <= afterKey)
        return {};
    return record.substr(afterKey + 1, beforeStamp - afterKey);
}

std::string_view TrimBlanks(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 0x20)
        --last;
    return text.substr(first, last - first);
}

std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    return line;
}

std::string FrameField(std::string_view frame, size_t first, size_t width) {
    if (first < 1 || first > frame.size())
        return {};
    return OneLine(TrimBlanks(frame.substr(first - 1, width)));
}

int32_t DecimalOrZero(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return 0;
    }
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return 0;
    return value;
}

} // namespace varnel
