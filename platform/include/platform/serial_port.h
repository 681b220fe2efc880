// A serial device opened exclusively, with its line settings as a control block
// (serial_control_block.h) applied through termios and read back, read and write
// time-outs with the meaning of the classic five time-out values, and the device's
// error word, status flags and queue counts.
#pragma once

#include "platform/serial_control_block.h"
#include "platform/uucp_lock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Read and write time-outs in milliseconds.
//
// Read: a read of n bytes returns when n bytes have come, or when the total time-out
// ReadTotalTimeoutMultiplier * n + ReadTotalTimeoutConstant has passed, or when more
// than ReadIntervalTimeout passes between two bytes once the first has come; whatever
// came until then is returned, possibly nothing. A value of 0 switches that limit
// off, so all three 0 means "wait for all n bytes". Two combinations are special:
// ReadIntervalTimeout = kMaxTimeout with both totals 0 returns at once with what is
// waiting; ReadIntervalTimeout = kMaxTimeout and ReadTotalTimeoutMultiplier =
// kMaxTimeout with a constant between 0 and kMaxTimeout (exclusive) returns as soon
// as anything has come, or with nothing after the constant.
//
// Write: a write of n bytes returns the count written when all is written or when
// WriteTotalTimeoutMultiplier * n + WriteTotalTimeoutConstant has passed (both 0: no
// limit). A time-out is not an error; a short count tells it.
struct SerialTimeouts {
    static constexpr uint32_t kMaxTimeout = 0xFFFFFFFFu;
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const SerialTimeouts&) const = default;
};

// Bits of SerialDeviceStatus::errors (the classic communication error word). Linux
// reports only line errors counted by the UART driver: break, framing, parity and
// overrun (hardware and input buffer); the others are never set here.
namespace serial_error {
inline constexpr uint32_t kRxOver = 0x0001;   // input buffer overflow
inline constexpr uint32_t kOverrun = 0x0002;  // character-buffer overrun
inline constexpr uint32_t kRxParity = 0x0004; // parity error
inline constexpr uint32_t kFrame = 0x0008;    // framing error
inline constexpr uint32_t kBreak = 0x0010;    // break condition
inline constexpr uint32_t kTxFull = 0x0100;
inline constexpr uint32_t kParallelTimeout = 0x0200;
inline constexpr uint32_t kIoError = 0x0400;
inline constexpr uint32_t kNotSelected = 0x0800;
inline constexpr uint32_t kOutOfPaper = 0x1000;
inline constexpr uint32_t kMode = 0x8000;
} // namespace serial_error

// Bits of SerialDeviceStatus::flags (bit 0 is the lowest). Linux shows only the CTS
// hold: output flow control by CTS is on and the device reports CTS off.
namespace serial_status {
inline constexpr uint32_t kCtsHold = 1u << 0;
inline constexpr uint32_t kDsrHold = 1u << 1;
inline constexpr uint32_t kRlsdHold = 1u << 2;
inline constexpr uint32_t kXoffHold = 1u << 3;
inline constexpr uint32_t kXoffSent = 1u << 4;
inline constexpr uint32_t kEof = 1u << 5;
inline constexpr uint32_t kTxim = 1u << 6;
} // namespace serial_status

struct SerialDeviceStatus {
    uint32_t errors = 0;   // serial_error bits that came up since the last fetch
    uint32_t flags = 0;    // serial_status bits
    uint32_t inQueue = 0;  // bytes received and not yet read
    uint32_t outQueue = 0; // bytes written and not yet sent
};

// One setting that the device did not take as asked (values as in the control block:
// numbers, enum values, 0/1 flags, character codes).
struct SettingNotKept {
    std::string field; // control block field name, e.g. "ByteSize"
    uint32_t wanted = 0;
    uint32_t kept = 0;
    bool operator==(const SettingNotKept&) const = default;
};

// "ByteSize 7 (kept 8), Parity 2 (kept 0)"; empty for an empty list.
std::string DescribeNotKept(const std::vector<SettingNotKept>& settings);

// An open serial device. Move-only; closed on destruction.
//
// Every failure raises platform::Error with the errno value as code() (the system's
// text is SystemErrorText(code())) and a message naming the device and what failed;
// a device held by another port object or program raises SharingViolation (EBUSY).
// A port object is not thread-safe: the owner serialises its calls.
//
// For code that came from the Windows communications API, the counterparts are:
// CreateFileA = open, GetCommState = controlBlock, BuildCommDCBA = BuildControlBlock,
// SetCommState = setControlBlock, SetupComm = setupQueues, Get/SetCommTimeouts =
// timeouts/setTimeouts, ReadFile = read, WriteFile = write, ClearCommError =
// clearError, FlushFileBuffers = flush, CloseHandle = close.
class SerialPort {
public:
    // "COMn" (any case, n from 1) names /dev/ttyS<n-1>; any other name is used as
    // given, which for an absolute path such as "/dev/pts/7" is that path.
    static std::string DevicePath(const std::string& name);

    SerialPort() = default;
    ~SerialPort();
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens an existing device for reading and writing, without making it the
    // controlling terminal and without sharing. First the device's UUCP lock file
    // (uucp_lock.h) is taken, which refuses a device that another serial program
    // holds; then the device is opened, refused when another program has put the
    // terminal in exclusive mode (also for root, whom the system lets through);
    // an exclusive lock on the device file and the terminal's exclusive mode then
    // make a second open by anyone else fail. A port that is open is closed first. The line is
    // put into binary mode (every byte passes unchanged: no echo, no line editing,
    // no character conversions, no flow control; modem status lines ignored for
    // input) keeping its rate and character format, and anything left in the
    // device's queues from an earlier user is discarded, as on a freshly opened
    // port. Time-outs start as all 0 (reads wait for every byte), queue sizes as 0.
    void open(const std::string& name);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& name() const { return name_; } // as given to open
    const std::string& path() const { return path_; } // the device file opened

    // The control block as the device holds it now: rate, character format, parity
    // checking, XON/XOFF, CTS flow, the XON/XOFF characters and binary mode come from
    // the device; the fields Linux has no setting for (DSR flow and sensitivity, DTR
    // mode, XON/XOFF limits, error/EOF/event characters, fNull, fTXContinueOnXoff,
    // fAbortOnError) are those last set on this port object (defaults after open).
    SerialControlBlock controlBlock() const;

    // Applies a control block, then reads the device's settings back and returns
    // what it did not keep (a pseudo-terminal, for one, always keeps 8 data bits and
    // no parity). Raises EINVAL without touching the device for a block no serial
    // line can have: data bits outside 5..8, a rate termios has no code for, 1.5
    // stop bits with 6..8 data bits, 2 stop bits with 5 data bits, equal XON and
    // XOFF characters. DTR and RTS are raised or dropped as the block asks where the
    // device has modem control lines. CTS output flow and RTS handshake both map to
    // the one RTS/CTS flow setting of termios.
    std::vector<SettingNotKept> setControlBlock(const SerialControlBlock& block);

    SerialTimeouts timeouts() const { return timeouts_; }
    void setTimeouts(const SerialTimeouts& timeouts);

    // Recommended queue sizes. Linux gives a serial line fixed kernel buffers, so the
    // sizes are only recorded (for logs and dumps), never applied.
    void setupQueues(uint32_t inQueue, uint32_t outQueue);
    uint32_t inQueueSize() const { return inQueueSize_; }
    uint32_t outQueueSize() const { return outQueueSize_; }

    // Reads up to `count` bytes within the read time-outs; 0 when nothing came.
    size_t read(void* buffer, size_t count);
    // Writes `count` bytes within the write time-outs; the count written.
    size_t write(const void* data, size_t count);

    // The errors since the last call (which are thereby cleared), the status flags
    // and the queue counts. A pseudo-terminal reports no errors and no flags.
    SerialDeviceStatus clearError();

    // Waits until everything written has been sent.
    void flush();

    // Closes the device (nothing happens when closed) and removes its lock file.
    // The terminal's exclusive mode is cleared only when this port set it. The
    // port is closed afterwards even when the system reports a failure, which is
    // then raised.
    void close();
    // The lock file held while open; empty when none could be taken (no lock
    // directory to write).
    const std::string& lockFile() const { return lock_.path(); }

private:
    std::string device() const; // "path" or "path (name)" for messages
    [[noreturn]] void fail(const std::string& what, int code) const;
    void applyModemLines(const SerialControlBlock& block);
    void requireOpen(const char* operation) const;

    int fd_ = -1;
    std::string name_;
    std::string path_;
    SerialControlBlock settings_; // the last block set (the fields termios lacks)
    SerialTimeouts timeouts_;
    uint32_t inQueueSize_ = 0;
    uint32_t outQueueSize_ = 0;
    bool isTerminal_ = false;
    bool setExclusive_ = false; // the terminal's exclusive mode is ours to clear
    UucpLock lock_;
    // Line-error counters of the device at the last clearError (when it counts them).
    bool hasErrorCounters_ = false;
    uint32_t frameErrors_ = 0, parityErrors_ = 0, overruns_ = 0, bufferOverruns_ = 0, breaks_ = 0;
};

} // namespace platform
