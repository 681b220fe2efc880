#include "rs_dumps.h"

#include <fmt/printf.h>

#include <cstdint>

namespace tellum {

namespace {

const char* DtrText(platform::DtrControl c) {
    switch (c) {
    case platform::DtrControl::Enable:
        return "DTR_CONTROL_ENABLE";
    case platform::DtrControl::Handshake:
        return "DTR_CONTROL_HANDSHAKE";
    default:
        return "DTR_CONTROL_DISABLE";
    }
}

const char* RtsText(platform::RtsControl c) {
    switch (c) {
    case platform::RtsControl::Enable:
        return "RTS_CONTROL_ENABLE";
    case platform::RtsControl::Handshake:
        return "RTS_CONTROL_HANDSHAKE";
    case platform::RtsControl::Toggle:
        return "RTS_CONTROL_TOGGLE";
    default:
        return "RTS_CONTROL_DISABLE";
    }
}

const char* ParityText(platform::Parity p) {
    switch (p) {
    case platform::Parity::Odd:
        return "odd";
    case platform::Parity::Even:
        return "even";
    case platform::Parity::Mark:
        return "mark";
    case platform::Parity::Space:
        return "space";
    default:
        return "none";
    }
}

const char* StopBitsText(platform::StopBits s) {
    switch (s) {
    case platform::StopBits::OneAndHalf:
        return "1.5";
    case platform::StopBits::Two:
        return "2";
    default:
        return "1";
    }
}

struct Bit {
    uint32_t value;
    const char* text;
};

// Error bits in the order the dump tests them (not the order of their values).
constexpr Bit kErrorBits[] = {
    {platform::serial_error::kBreak, "The hardware detected a break condition."},
    {platform::serial_error::kNotSelected, "Windows 95 only: A parallel device is not selected."},
    {platform::serial_error::kFrame, "The hardware detected a framing error."},
    {platform::serial_error::kIoError,
     "An I/O error occurred during communications with the device."},
    {platform::serial_error::kMode,
     "The requested mode is not supported, or the hFile parameter is invalid. If this "
     "value is specified, it is the only valid error."},
    {platform::serial_error::kOutOfPaper,
     "Windows 95 only: A parallel device signaled that it is out of paper."},
    {platform::serial_error::kOverrun,
     "A character-buffer overrun has occurred. The next character is lost."},
    {platform::serial_error::kParallelTimeout,
     "Windows 95 only: A time-out occurred on a parallel device."},
    {platform::serial_error::kRxOver,
     "An input buffer overflow has occurred. There is either no room in the input "
     "buffer, or a character was received after the end-of-file (EOF) character."},
    {platform::serial_error::kRxParity, "The hardware detected a parity error."},
    {platform::serial_error::kTxFull,
     "The application tried to transmit a character, but the output buffer was full."},
};

struct Flag {
    uint32_t value;
    const char* name;
    const char* text;
};

constexpr Flag kStatusFlags[] = {
    {platform::serial_status::kCtsHold, "fCtsHold", "Tx waiting for CTS signal."},
    {platform::serial_status::kDsrHold, "fDsrHold", "Tx waiting for DSR signal."},
    {platform::serial_status::kRlsdHold, "fRlsdHold", "Tx waiting for RLSD signal."},
    {platform::serial_status::kXoffHold, "fXoffHold", "Tx waiting, XOFF char recieved."},
    {platform::serial_status::kXoffSent, "fXoffSent", "Tx waiting, XOFF char sent."},
    {platform::serial_status::kEof, "fEof", "EOF character sent."},
    {platform::serial_status::kTxim, "fTxim", "character waiting for Tx."},
};

} // namespace

std::vector<std::string> ControlBlockDump(const std::string& device,
                                          const platform::SerialControlBlock& b) {
    auto n = [](auto v) { return int(v); };
    return {
        fmt::sprintf("Device control block for %s", device),
        fmt::sprintf("BaudRate: %d", b.BaudRate),
        fmt::sprintf("fBinary: %d", n(b.fBinary)),
        fmt::sprintf("fParity: %d", n(b.fParity)),
        fmt::sprintf("fOutxCtsFlow: %d", n(b.fOutxCtsFlow)),
        fmt::sprintf("fOutxDsrFlow: %d", n(b.fOutxDsrFlow)),
        fmt::sprintf("fDtrControl: %s", DtrText(b.fDtrControl)),
        fmt::sprintf("fDsrSensitivity: %d", n(b.fDsrSensitivity)),
        fmt::sprintf("fTXContinueOnXoff: %d", n(b.fTXContinueOnXoff)),
        fmt::sprintf("fOutX: %d", n(b.fOutX)),
        fmt::sprintf("fInX: %d", n(b.fInX)),
        fmt::sprintf("fErrorChar: %d", n(b.fErrorChar)),
        fmt::sprintf("fNull: %d", n(b.fNull)),
        fmt::sprintf("fRtsControl: %s", RtsText(b.fRtsControl)),
        fmt::sprintf("fAbortOnError: %d", n(b.fAbortOnError)),
        fmt::sprintf("XonLim: %d", n(b.XonLim)),
        fmt::sprintf("XoffLim: %d", n(b.XoffLim)),
        fmt::sprintf("ByteSize: %d", n(b.ByteSize)),
        fmt::sprintf("Parity: %s", ParityText(b.Parity)),
        fmt::sprintf("StopBits: %s", StopBitsText(b.StopBits)),
        fmt::sprintf("XonChar: %d", n(b.XonChar)),
        fmt::sprintf("XoffChar: %d", n(b.XoffChar)),
        fmt::sprintf("ErrorChar: %d", n(b.ErrorChar)),
        fmt::sprintf("EofChar: %d", n(b.EofChar)),
        fmt::sprintf("EvtChar: %d", n(b.EvtChar)),
    };
}

std::vector<std::string> DeviceStatusDump(const std::string& device,
                                          const platform::SerialDeviceStatus& status) {
    std::vector<std::string> lines;
    lines.push_back(fmt::sprintf("Device status errors for %s: %d", device, status.errors));
    for (const Bit& bit : kErrorBits)
        if (status.errors & bit.value)
            lines.push_back(fmt::sprintf("Device error flag %d (%s) enabled for %s.", bit.value,
                                         bit.text, device));
    if (status.flags == 0)
        lines.push_back(fmt::sprintf("Device status flags for %s: 0", device));
    for (const Flag& flag : kStatusFlags)
        if (status.flags & flag.value)
            lines.push_back(fmt::sprintf("Status flag %s - (%s) enabled for %s.", flag.name,
                                         flag.text, device));
    lines.push_back(fmt::sprintf("Input queue content for %s: %d.", device, status.inQueue));
    lines.push_back(fmt::sprintf("Output queue content for %s: %d.", device, status.outQueue));
    return lines;
}

} // namespace tellum
