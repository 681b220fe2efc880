// A value of a statement's input parameter or result column: NULL, integer,
// floating point or text (8-bit bytes, kept exactly). A NULL reads as 0 or
// as empty text; isNull() tells it apart.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace fbdb {

class Value {
public:
    // In the order of the alternatives held.
    enum class Kind { Null, Integer, Float, Text };

    explicit Value(std::string name = {}) : name_(std::move(name)) {}

    // The parameter or column name (upper case for parameters).
    const std::string& name() const { return name_; }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool isNull() const { return std::holds_alternative<std::monostate>(value_); }
    // NULL gives 0; a text must hold a whole number (blanks around it allowed);
    // a fraction is cut off. Raises Error naming the value otherwise.
    std::int64_t asInt64() const;
    // As asInt64, and raises Error when the number does not fit an int.
    int asInt() const;
    double asDouble() const;
    // NULL gives empty text; numbers in decimal.
    std::string asString() const;

protected:
    std::string name_;
    std::variant<std::monostate, std::int64_t, double, std::string> value_;
};

// An input parameter. Its value stays set for later executions until changed;
// a parameter never set is NULL.
class Param : public Value {
public:
    using Value::Value;

    void setNull();
    void setInt(std::int64_t value);
    void setDouble(double value);
    // Sent as text; the engine converts it to the parameter's type.
    void setString(std::string value);
    // Sent as a text blob of the whole length (for blob parameters and texts
    // longer than a VARCHAR can hold).
    void setBlobText(std::string value);
    bool isBlobText() const { return blob_ && !isNull(); }

private:
    bool blob_ = false;
};

// A result column of the current row.
class Field : public Value {
public:
    using Value::Value;

    // Set by the statement while reading a row.
    void assignNull() { value_ = std::monostate{}; }
    void assign(std::int64_t value) { value_ = value; }
    void assign(double value) { value_ = value; }
    void assign(std::string value) { value_ = std::move(value); }
};

} // namespace fbdb
