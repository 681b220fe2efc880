// Values of read-only bus properties written into and read from sd-bus messages: what
// the signal channel's served objects answer and what ReadBusProperties reads.
#pragma once

#include "platform/bus_properties.h"

#include <systemd/sd-bus.h>

#include <optional>

namespace platform {

// Appends `value` as its own type (not wrapped in a variant); strings are made valid
// UTF-8 first. Answers sd-bus's result.
int AppendBusValue(sd_bus_message* message, const BusValue& value);

// Reads one variant whose contents have the signature `contents`; nullopt (with the
// variant left unread) when the type is none of BusValue's.
std::optional<BusValue> ReadBusVariant(sd_bus_message* message, const char* contents);

} // namespace platform
