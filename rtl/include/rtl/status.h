// IStatusSource: a running plug-in's state for the people who operate it. A
// plug-in object that implements it is asked by the host for its state (the
// service's status line, the status on the bus): structured fields that a
// program can read, plus a one-line summary that a person can.
#pragma once

#include "rtl/interface.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace rtl {

struct TStatusField {
    using Value = std::variant<bool, int64_t, std::string>;
    std::string name; // "connected", "events_waiting", "last_cycle", ...
    Value value;

    bool operator==(const TStatusField&) const = default;
};

struct TStatus {
    // One line without a line break, read in a status list of all plug-ins:
    // "manager: last cycle 10:42:05 ok, 0 events waiting".
    std::string summary = {};
    std::vector<TStatusField> fields = {};
    // The last failure's text, empty while there was none.
    std::string lastError = {};
    // What needs an operator now, one short line each ("hotel link: disconnected");
    // empty while all is well. A failure that has passed is no longer listed here.
    std::vector<std::string> attention = {};

    // The field named `name`, or nullptr.
    const TStatusField::Value* field(const std::string& name) const;
};

class IStatusSource : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{4C1F7D3E-9B25-4A86-B0E1-57A2C8D94F36}");
    using Base = IImplemented;

    // Called on the main thread; must be cheap and must not wait.
    virtual TStatus status() = 0;

protected:
    ~IStatusSource() = default;
};

// "10:42:05", the local time of a moment given as seconds since the epoch;
// the form status lines show times in.
std::string StatusTime(int64_t epochSeconds);

} // namespace rtl
