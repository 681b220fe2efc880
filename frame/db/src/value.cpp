#include "fbdb/value.h"

#include "fbdb/error.h"

#include <charconv>
#include <cmath>
#include <limits>

#include <fmt/format.h>

namespace fbdb {

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

std::int64_t Value::asInt64() const {
    if (const auto* i = std::get_if<std::int64_t>(&value_))
        return *i;
    if (const auto* d = std::get_if<double>(&value_)) {
        if (!std::isfinite(*d) || std::fabs(*d) >= 9.2e18)
            throw Error(fmt::format("{} = {} does not fit an integer", name_, *d));
        return static_cast<std::int64_t>(*d);
    }
    if (const auto* s = std::get_if<std::string>(&value_)) {
        const std::string_view text = Trim(*s);
        std::int64_t result = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size())
            throw Error(fmt::format("{} = '{}' is not a whole number", name_, *s));
        return result;
    }
    return 0;
}

int Value::asInt() const {
    const std::int64_t value = asInt64();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw Error(fmt::format("{} = {} does not fit an int", name_, value));
    return static_cast<int>(value);
}

double Value::asDouble() const {
    if (const auto* i = std::get_if<std::int64_t>(&value_))
        return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value_))
        return *d;
    if (const auto* s = std::get_if<std::string>(&value_)) {
        const std::string_view text = Trim(*s);
        double result = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size())
            throw Error(fmt::format("{} = '{}' is not a number", name_, *s));
        return result;
    }
    return 0;
}

std::string Value::asString() const {
    if (const auto* i = std::get_if<std::int64_t>(&value_))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&value_))
        return fmt::format("{}", *d);
    if (const auto* s = std::get_if<std::string>(&value_))
        return *s;
    return {};
}

void Param::setNull() {
    value_ = std::monostate{};
    blob_ = false;
}

void Param::setInt(std::int64_t value) {
    value_ = value;
    blob_ = false;
}

void Param::setDouble(double value) {
    value_ = value;
    blob_ = false;
}

void Param::setString(std::string value) {
    value_ = std::move(value);
    blob_ = false;
}

void Param::setBlobText(std::string value) {
    value_ = std::move(value);
    blob_ = true;
}

} // namespace fbdb
