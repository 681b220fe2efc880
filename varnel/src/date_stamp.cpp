#include "date_stamp.h"

#include <cstdio>

namespace varnel {

std::string FormatDateStamp(const std::tm& local) {
    char text[80]; // room for any int values, so nothing is ever cut
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    return text;
}

std::string CurrentDateStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FormatDateStamp(local);
}

} // namespace varnel
