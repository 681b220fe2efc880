// Read-only properties of an object on the system message bus (D-Bus): the values a
// program publishes through its signal channel, and how another program reads them
// all at once (org.freedesktop.DBus.Properties.GetAll) with a deadline, telling a
// missing bus, a name nobody owns and an owner that does not answer apart.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// D-Bus types b, x, s, as and a{ss}.
using BusValue = std::variant<bool, int64_t, std::string, std::vector<std::string>,
                              std::map<std::string, std::string>>;

struct BusProperty {
    std::string name;
    BusValue value;

    bool operator==(const BusProperty&) const = default;
};

// The D-Bus signature of a value's type: "b", "x", "s", "as" or "a{ss}".
const char* BusSignatureOf(const BusValue& value);

// `text` with every byte that is not part of valid UTF-8 replaced by U+FFFD: the bus
// refuses a string that is not UTF-8, and texts from databases may be in a code page.
std::string ValidUtf8(const std::string& text);

struct BusPropertiesAnswer {
    enum class Outcome {
        Read,     // `properties` holds every property of the interface
        NoBus,    // the bus cannot be reached or did not answer
        NoOwner,  // the bus answered that nobody owns the name
        NoAnswer, // the owner did not answer in time
        Refused,  // the bus or the owner answered with an error
    };
    Outcome outcome = Outcome::NoBus;
    std::vector<BusProperty> properties; // in the order the owner sent them
    std::string detail;                  // for a person: the address and the reason

    // The property named `name`, or nullptr.
    const BusValue* find(const std::string& name) const;
};

// Connects to SystemBusAddress() and asks `busName` for every property of
// `interfaceName` at `path`; waits at most `timeoutMs` in all. Properties of other
// types than BusValue's are left out. Never raises.
BusPropertiesAnswer ReadBusProperties(const std::string& busName, const std::string& path,
                                      const std::string& interfaceName, uint32_t timeoutMs);

} // namespace platform
