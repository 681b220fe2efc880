#include "rtl/dateparsing.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <fmt/format.h>

namespace rtl::Dateparsing {

namespace {

using namespace std::chrono;

constexpr sys_days Epoch = sys_days(year{1899} / December / 30);
constexpr int64_t MsPerDay = 86400000;

int ReadField(const std::string& text, const std::string& format, const char* letters,
              const char* what) {
    const std::string pattern(letters);
    const size_t at = format.find(pattern);
    if (at == std::string::npos)
        throw EConvertError(fmt::format("Format \"{}\" has no {} ({})", format, what, pattern));
    if (at + pattern.size() > text.size())
        throw EConvertError(fmt::format("\"{}\" is too short for format \"{}\"", text, format));
    int value = 0;
    for (size_t i = at; i < at + pattern.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw EConvertError(
                fmt::format("\"{}\" has no {} where format \"{}\" puts it", text, what, format));
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string Two(int v) {
    return fmt::format("{:02d}", v);
}

std::string Format(const std::string& format, const DateTimeParts& p) {
    std::string out;
    for (size_t i = 0; i < format.size();) {
        auto starts = [&](const char* token) {
            return format.compare(i, std::strlen(token), token) == 0;
        };
        if (starts("yyyy")) {
            out += fmt::format("{:04d}", p.year);
            i += 4;
        } else if (starts("yy")) {
            out += Two(p.year % 100);
            i += 2;
        } else if (starts("mm")) {
            out += Two(p.month);
            i += 2;
        } else if (starts("dd")) {
            out += Two(p.day);
            i += 2;
        } else if (starts("hh")) {
            out += Two(p.hour);
            i += 2;
        } else if (starts("h")) {
            out += std::to_string(p.hour);
            i += 1;
        } else if (starts("nn")) {
            out += Two(p.minute);
            i += 2;
        } else if (starts("ss")) {
            out += Two(p.second);
            i += 2;
        } else if (starts("zzz")) {
            out += fmt::format("{:03d}", p.millisecond);
            i += 3;
        } else {
            out += format[i++];
        }
    }
    return out;
}

} // namespace

int parseYear(const std::string& text, const std::string& format) {
    if (format.find("yyyy") != std::string::npos)
        return ReadField(text, format, "yyyy", "year");
    return ReadField(text, format, "yy", "year");
}
int parseMonth(const std::string& text, const std::string& format) {
    return ReadField(text, format, "mm", "month");
}
int parseDay(const std::string& text, const std::string& format) {
    return ReadField(text, format, "dd", "day");
}
int parseHour(const std::string& text, const std::string& format) {
    return ReadField(text, format, "hh", "hour");
}
int parseMin(const std::string& text, const std::string& format) {
    return ReadField(text, format, "nn", "minutes");
}
int parseSec(const std::string& text, const std::string& format) {
    return ReadField(text, format, "ss", "seconds");
}

double encodeDateTime(int y, int m, int d, int hour, int minute, int second, int millisecond) {
    const year_month_day date{year{y}, month{unsigned(m)}, day{unsigned(d)}};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || !date.ok())
        throw EConvertError(fmt::format("{:04d}-{:02d}-{:02d} is not a valid date", y, m, d));
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999)
        throw EConvertError(
            fmt::format("{:02d}:{:02d}:{:02d} is not a valid time", hour, minute, second));
    const double days = double((sys_days(date) - Epoch).count());
    const double time =
        double(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / double(MsPerDay);
    // Before the epoch the fraction still counts forward from midnight.
    return days >= 0 ? days + time : days - time;
}

DateTimeParts decodeDateTime(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 3e6)
        throw EConvertError(fmt::format("{} is not a valid date-time", value));
    double whole = std::trunc(value);
    int64_t ms = std::llround(std::fabs(value - whole) * double(MsPerDay));
    if (ms >= MsPerDay) { // rounding reached the next midnight
        ms -= MsPerDay;
        whole += value >= 0 ? 1 : -1;
    }
    const year_month_day date{Epoch + days{int64_t(whole)}};
    DateTimeParts p;
    p.year = int(date.year());
    p.month = int(unsigned(date.month()));
    p.day = int(unsigned(date.day()));
    p.millisecond = int(ms % 1000);
    p.second = int(ms / 1000 % 60);
    p.minute = int(ms / 60000 % 60);
    p.hour = int(ms / 3600000);
    return p;
}

std::string formatDateTime(const std::string& format, double value) {
    return Format(format, decodeDateTime(value));
}

std::string formatTime(const std::string& format, double value) {
    DateTimeParts p = decodeDateTime(value);
    p.year = 1899;
    p.month = 12;
    p.day = 30;
    return Format(format, p);
}

} // namespace rtl::Dateparsing
