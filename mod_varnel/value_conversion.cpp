#include "value_conversion.h"

#include "rtl/dateparsing.h"

#include <charconv>
#include <optional>

namespace mod_varnel {

namespace {

using ComponentParser = int (*)(const std::string&, const std::string&);

// One component, or nothing when the text does not hold it where the format says.
std::optional<int> ReadComponent(ComponentParser parse, const std::string& text,
                                 const std::string& format) {
    try {
        return parse(text, format);
    } catch (const rtl::EConvertError&) {
        return std::nullopt;
    }
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

int32_t StrToInt(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin; // from_chars takes a minus sign only
    int32_t value = 0;
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (text.empty() || begin == end || ec != std::errc() || stop != end)
        throw rtl::EConvertError("'" + text + "' is not a valid integer value");
    return value;
}

double parseDateTime(const std::string& text, const std::string& format) {
    namespace D = rtl::Dateparsing;
    const std::optional<int> year = ReadComponent(D::parseYear, text, format);
    const std::optional<int> month = ReadComponent(D::parseMonth, text, format);
    const std::optional<int> day = ReadComponent(D::parseDay, text, format);
    const std::optional<int> hour = ReadComponent(D::parseHour, text, format);
    const std::optional<int> minute = ReadComponent(D::parseMin, text, format);
    const std::optional<int> second = ReadComponent(D::parseSec, text, format);

    const int h = hour.value_or(0);
    const int n = minute.value_or(0);
    const int s = second.value_or(0);
    // A time-only format ("hh:nn", "hhnn") stands for a time of day: the date
    // part is the day the count starts from.
    if (!Contains(format, "yy") && !Contains(format, "mm") && !Contains(format, "dd"))
        return D::encodeDateTime(1899, 12, 30, h, n, s, 0);
    // The driver writes two-digit years of this century; the date parsing gives
    // a four-digit year as written.
    int y = 0;
    if (year)
        y = Contains(format, "yyyy") ? *year : *year + 2000;
    return D::encodeDateTime(y, month.value_or(0), day.value_or(0), h, n, s, 0);
}

double parseDateTimeOrZero(const std::string& text, const std::string& format) {
    try {
        return parseDateTime(text, format);
    } catch (...) {
        return 0;
    }
}

double parseDateStamp(const std::string& text) {
    return parseDateTimeOrZero(text, "yyyy.mm.dd hh:nn");
}

std::string IncludeTrailingPathDelimiter(const std::string& folder) {
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + '/';
}

} // namespace mod_varnel
