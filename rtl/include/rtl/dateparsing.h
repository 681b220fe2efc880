// Date-time values and their texts. A date-time is a double counting days
// from 30 December 1899 00:00; the fraction is the time of day (0.5 = noon).
// Format letters: yyyy / yy year, mm month, dd day, hh hour (h: hour without a
// leading zero), nn minutes, ss seconds, zzz milliseconds; any other character
// stands for itself.
#pragma once

#include <stdexcept>
#include <string>

namespace rtl {

// A text that is no number or date where one was expected. Callers catch this
// type to fall back to a default.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace Dateparsing {

// Each reads the decimal digits at the places its letters occupy in `format`
// ("yyyy" before "yy" for the year; "mm" month, "dd", "hh", "nn", "ss"). A
// format without the letters, a text too short or non-digits there raise
// EConvertError. Values are not range-checked: "yy" gives 0-99 as written,
// "yyyy" the full year.
int parseYear(const std::string& text, const std::string& format);
int parseMonth(const std::string& text, const std::string& format);
int parseDay(const std::string& text, const std::string& format);
int parseHour(const std::string& text, const std::string& format);
int parseMin(const std::string& text, const std::string& format);
int parseSec(const std::string& text, const std::string& format);

// The date-time of these components; a date or time that does not exist
// (31 February, hour 24) raises EConvertError.
double encodeDateTime(int year, int month, int day, int hour, int minute, int second,
                      int millisecond = 0);

struct DateTimeParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};
// Splits a date-time, rounded to the millisecond.
DateTimeParts decodeDateTime(double value);

// "dd/mm/yyyy hh:nn:ss" gives "05/03/2024 07:08:09".
std::string formatDateTime(const std::string& format, double value);
// The time of day of `value` only (the date part is ignored): formatTime("hh:nn", v).
std::string formatTime(const std::string& format, double value);

// The system's long time format: hour without a leading zero ("0:02:05").
inline constexpr const char* LongTimeFormat = "h:nn:ss";

} // namespace Dateparsing
} // namespace rtl
