// The serial stream's dumps: every control block field with its value or text,
// and the device status with its error bits and status flags in the dump's own
// order.
#include "rs_dumps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::SerialControlBlock;
using platform::SerialDeviceStatus;
using tellum::ControlBlockDump;
using tellum::DeviceStatusDump;

TEST(ControlBlockDump, ListsEveryFieldInOrder) {
    SerialControlBlock b;
    b.BaudRate = 19200;
    b.fParity = 1;
    b.fOutxCtsFlow = 1;
    b.fDtrControl = platform::DtrControl::Handshake;
    b.fRtsControl = platform::RtsControl::Handshake;
    b.fAbortOnError = 1;
    b.XonLim = 512;
    b.XoffLim = 512;
    b.ByteSize = 7;
    b.Parity = platform::Parity::Even;
    b.StopBits = platform::StopBits::Two;
    b.ErrorChar = 0xFE;
    const std::vector<std::string> expected = {
        "Device control block for COM2",
        "BaudRate: 19200",
        "fBinary: 1",
        "fParity: 1",
        "fOutxCtsFlow: 1",
        "fOutxDsrFlow: 0",
        "fDtrControl: DTR_CONTROL_HANDSHAKE",
        "fDsrSensitivity: 0",
        "fTXContinueOnXoff: 0",
        "fOutX: 0",
        "fInX: 0",
        "fErrorChar: 0",
        "fNull: 0",
        "fRtsControl: RTS_CONTROL_HANDSHAKE",
        "fAbortOnError: 1",
        "XonLim: 512",
        "XoffLim: 512",
        "ByteSize: 7",
        "Parity: even",
        "StopBits: 2",
        "XonChar: 17",
        "XoffChar: 19",
        "ErrorChar: 254",
        "EofChar: 26",
        "EvtChar: 0",
    };
    EXPECT_EQ(ControlBlockDump("COM2", b), expected);
}

TEST(ControlBlockDump, NamesEachControlParityAndStopBitsValue) {
    const struct {
        void (*set)(SerialControlBlock&);
        size_t line;
        const char* text;
    } cases[] = {
        {[](SerialControlBlock& b) { b.fDtrControl = platform::DtrControl::Disable; }, 6,
         "fDtrControl: DTR_CONTROL_DISABLE"},
        {[](SerialControlBlock& b) { b.fDtrControl = platform::DtrControl::Enable; }, 6,
         "fDtrControl: DTR_CONTROL_ENABLE"},
        {[](SerialControlBlock& b) { b.fRtsControl = platform::RtsControl::Disable; }, 13,
         "fRtsControl: RTS_CONTROL_DISABLE"},
        {[](SerialControlBlock& b) { b.fRtsControl = platform::RtsControl::Enable; }, 13,
         "fRtsControl: RTS_CONTROL_ENABLE"},
        {[](SerialControlBlock& b) { b.fRtsControl = platform::RtsControl::Toggle; }, 13,
         "fRtsControl: RTS_CONTROL_TOGGLE"},
        {[](SerialControlBlock& b) { b.Parity = platform::Parity::None; }, 18, "Parity: none"},
        {[](SerialControlBlock& b) { b.Parity = platform::Parity::Odd; }, 18, "Parity: odd"},
        {[](SerialControlBlock& b) { b.Parity = platform::Parity::Mark; }, 18, "Parity: mark"},
        {[](SerialControlBlock& b) { b.Parity = platform::Parity::Space; }, 18, "Parity: space"},
        {[](SerialControlBlock& b) { b.StopBits = platform::StopBits::One; }, 19, "StopBits: 1"},
        {[](SerialControlBlock& b) { b.StopBits = platform::StopBits::OneAndHalf; }, 19,
         "StopBits: 1.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SerialControlBlock b;
        c.set(b);
        EXPECT_EQ(ControlBlockDump("COM1", b).at(c.line), c.text);
    }
}

TEST(DeviceStatusDump, QuietDeviceShowsZeroWordsAndQueues) {
    SerialDeviceStatus status;
    status.inQueue = 3;
    const std::vector<std::string> expected = {
        "Device status errors for /dev/pts/4: 0",
        "Device status flags for /dev/pts/4: 0",
        "Input queue content for /dev/pts/4: 3.",
        "Output queue content for /dev/pts/4: 0.",
    };
    EXPECT_EQ(DeviceStatusDump("/dev/pts/4", status), expected);
}

TEST(DeviceStatusDump, ErrorBitsAndStatusFlagsComeInTheDumpsOrder) {
    SerialDeviceStatus status;
    status.errors = 0x0001 | 0x0002 | 0x0004 | 0x0008 | 0x0010 | 0x0100 | 0x0200 | 0x0400 | 0x0800 |
                    0x1000 | 0x8000;
    status.flags = 0x7F;
    status.outQueue = 12;
    const std::vector<std::string> expected = {
        "Device status errors for COM1: 40735",
        "Device error flag 16 (The hardware detected a break condition.) enabled for COM1.",
        "Device error flag 2048 (Windows 95 only: A parallel device is not selected.) enabled "
        "for COM1.",
        "Device error flag 8 (The hardware detected a framing error.) enabled for COM1.",
        "Device error flag 1024 (An I/O error occurred during communications with the device.) "
        "enabled for COM1.",
        "Device error flag 32768 (The requested mode is not supported, or the hFile parameter is "
        "invalid. If this value is specified, it is the only valid error.) enabled for COM1.",
        "Device error flag 4096 (Windows 95 only: A parallel device signaled that it is out of "
        "paper.) enabled for COM1.",
        "Device error flag 2 (A character-buffer overrun has occurred. The next character is "
        "lost.) enabled for COM1.",
        "Device error flag 512 (Windows 95 only: A time-out occurred on a parallel device.) "
        "enabled for COM1.",
        "Device error flag 1 (An input buffer overflow has occurred. There is either no room in "
        "the input buffer, or a character was received after the end-of-file (EOF) character.) "
        "enabled for COM1.",
        "Device error flag 4 (The hardware detected a parity error.) enabled for COM1.",
        "Device error flag 256 (The application tried to transmit a character, but the output "
        "buffer was full.) enabled for COM1.",
        "Status flag fCtsHold - (Tx waiting for CTS signal.) enabled for COM1.",
        "Status flag fDsrHold - (Tx waiting for DSR signal.) enabled for COM1.",
        "Status flag fRlsdHold - (Tx waiting for RLSD signal.) enabled for COM1.",
        "Status flag fXoffHold - (Tx waiting, XOFF char recieved.) enabled for COM1.",
        "Status flag fXoffSent - (Tx waiting, XOFF char sent.) enabled for COM1.",
        "Status flag fEof - (EOF character sent.) enabled for COM1.",
        "Status flag fTxim - (character waiting for Tx.) enabled for COM1.",
        "Input queue content for COM1: 0.",
        "Output queue content for COM1: 12.",
    };
    EXPECT_EQ(DeviceStatusDump("COM1", status), expected);

    // One bit of each kind: only its own line, and no "flags: 0" line.
    status.errors = 0x0008;
    status.flags = 0x04;
    const std::vector<std::string> some = {
        "Device status errors for COM1: 8",
        "Device error flag 8 (The hardware detected a framing error.) enabled for COM1.",
        "Status flag fRlsdHold - (Tx waiting for RLSD signal.) enabled for COM1.",
        "Input queue content for COM1: 0.",
        "Output queue content for COM1: 12.",
    };
    EXPECT_EQ(DeviceStatusDump("COM1", status), some);
}

} // namespace
