// Translation between the serial control block and termios: which termios bits
// stand for which block fields, and which fields a device's termios can show.
#pragma once

#include "platform/serial_control_block.h"
#include "platform/serial_port.h"

#include <optional>
#include <termios.h>
#include <vector>

namespace platform::serial_termios {

// The termios speed code of a rate, if termios has one.
std::optional<speed_t> SpeedCode(uint32_t baudRate);
// The rate of a termios speed code (0 for an unknown code).
uint32_t BaudRateOf(speed_t code);

// Why no serial line can have this block; empty when it is possible.
std::string Impossible(const SerialControlBlock& block);

// Binary mode: no echo, no line editing or signals, no input or output conversions,
// no flow control, reads that do not wait (the port waits with poll), receiver on,
// modem status lines ignored for input, DTR and RTS dropped on the last close. The
// rate and character format stay as they are.
void MakeBinary(termios& t);

// Puts every setting of `block` that termios has into `t` (in binary mode).
void Apply(const SerialControlBlock& block, termios& t);

// The block as `t` shows it: the fields termios has come from `t`, the others from
// `stored`.
SerialControlBlock Read(const termios& t, const SerialControlBlock& stored);

// The termios-held fields in which `kept` differs from `wanted`, in block order.
std::vector<SettingNotKept> Compare(const SerialControlBlock& wanted,
                                    const SerialControlBlock& kept);

} // namespace platform::serial_termios
