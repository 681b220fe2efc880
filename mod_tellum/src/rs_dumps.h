// The serial stream's debug dumps as lists of log lines: the device control block
// after the port was set up, and the device status (error bits, status flags,
// queue contents) fetched from the port.
#pragma once

#include "platform/serial_control_block.h"
#include "platform/serial_port.h"

#include <string>
#include <vector>

namespace tellum {

// "Device control block for <device>", then one "<field>: <value>" line per field.
std::vector<std::string> ControlBlockDump(const std::string& device,
                                          const platform::SerialControlBlock& block);

// "Device status errors for <device>: <word>", a line per error bit and per status
// flag that is set (in the order a reader of the classic dump expects), and the
// two queue contents.
std::vector<std::string> DeviceStatusDump(const std::string& device,
                                          const platform::SerialDeviceStatus& status);

} // namespace tellum
