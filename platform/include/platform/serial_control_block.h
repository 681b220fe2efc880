// The line settings of a serial port as one control block (baud rate, character
// format, flow control, special characters), and the parser that fills it from a
// classic mode string such as "9600,n,8,1" or "baud=19200 parity=e data=7 stop=2".
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
enum class DtrControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2 };
enum class RtsControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2, Toggle = 3 };

// Field names and numeric values follow the control block that the log dumps
// print, so a dump line is just the field's name and value. One-bit flags are
// 0 or 1, characters are bytes 0..255.
struct SerialControlBlock {
    uint32_t BaudRate = 9600;
    uint8_t fBinary = 1;      // no end-of-file checking; always 1 here
    uint8_t fParity = 0;      // check the parity of received bytes
    uint8_t fOutxCtsFlow = 0; // hold output while CTS is off
    uint8_t fOutxDsrFlow = 0; // hold output while DSR is off
    DtrControl fDtrControl = DtrControl::Enable;
    uint8_t fDsrSensitivity = 0;   // ignore input while DSR is off
    uint8_t fTXContinueOnXoff = 0; // keep sending after XOFF was sent for input
    uint8_t fOutX = 0;             // XON/XOFF for output
    uint8_t fInX = 0;              // XON/XOFF for input
    uint8_t fErrorChar = 0;        // replace bytes with parity errors by ErrorChar
    uint8_t fNull = 0;             // discard NUL bytes
    RtsControl fRtsControl = RtsControl::Enable;
    uint8_t fAbortOnError = 0; // stop I/O after an error until it is cleared
    uint16_t XonLim = 2048;    // send XON when the input queue falls to this
    uint16_t XoffLim = 512;    // send XOFF when this much room is left
    uint8_t ByteSize = 8;      // data bits, 5..8
    platform::Parity Parity = platform::Parity::None;
    platform::StopBits StopBits = platform::StopBits::One;
    uint8_t XonChar = 0x11;
    uint8_t XoffChar = 0x13;
    uint8_t ErrorChar = 0;
    uint8_t EofChar = 0x1A;
    uint8_t EvtChar = 0;

    bool operator==(const SerialControlBlock&) const = default;
};

// Fills `block` from a mode string, the way the classic serial mode command reads
// it. Two forms are understood:
//
//   "baud,parity,data,stop[,flow]"   e.g. "9600,n,8,1", "19200,e,7,2,p", "4800,n,8,1.5,x"
//     baud: a decimal rate; the two-digit short forms 11, 15, 30, 60, 12, 24, 48,
//           96 and 19 stand for 110 ... 19200.
//     parity: n, e, o, m, s; data: 5..8; stop: 1, 1.5, 2; flow: x (XON/XOFF both
//     ways) or p (CTS/DSR output flow, DTR and RTS handshake). Trailing fields may
//     be left out; a field left out keeps its value in `block`.
//
//   "baud=B parity=P data=D stop=S xon=on|off odsr=on|off octs=on|off
//    dtr=on|off|hs rts=on|off|hs|tg idsr=on|off to=on|off" (any subset, any order).
//
// Either form may start with a device prefix "COMn:", which is skipped. Both forms
// switch flow control off first (no XON/XOFF, no CTS/DSR flow, DTR and RTS held on,
// no DSR sensitivity) and then apply what the string asks for; fBinary is set. At
// 110 baud with no stop bits given, two stop bits are used. Letters and keys are
// case-insensitive; spaces around fields are ignored.
//
// A malformed string raises platform::Error (code EINVAL) whose message quotes the
// whole string and names the offending field; `block` is then left unchanged.
void BuildControlBlock(const std::string& mode, SerialControlBlock& block);

} // namespace platform
