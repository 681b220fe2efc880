#include "platform/serial_port.h"

#include "platform/error.h"
#include "platform/stop_request.h"
#include "serial_termios.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// Device requests that a device without the feature refuses with one of these.
bool NotSupported(int code) {
    return code == ENOTTY || code == EINVAL;
}

// Whole milliseconds until `deadline`, rounded up so that a wait never ends early.
int MillisUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<Millis>(left).count();
    return ms > 1000000 ? 1000000 : int(ms);
}

Clock::time_point After(Clock::time_point start, uint64_t ms) {
    return start + Millis(ms);
}

// poll() on one descriptor that also ends for a stop request, which must end
// a modem conversation at once: the conversation blocks the main thread, so
// nothing else could end it. `stopped` tells a stop request.
int PollOrStop(pollfd& p, int waitMs, bool& stopped) {
    stopped = StopRequested();
    if (stopped)
        return 0;
    pollfd fds[2] = {p, {StopRequestFd(), POLLIN, 0}};
    const int rc = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, waitMs);
    p.revents = fds[0].revents;
    stopped = StopRequested();
    return rc;
}

} // namespace

std::string DescribeNotKept(const std::vector<SettingNotKept>& settings) {
    std::string text;
    for (const SettingNotKept& s : settings) {
        if (!text.empty())
            text += ", ";
        text += s.field + " " + std::to_string(s.wanted) + " (kept " + std::to_string(s.kept) + ")";
    }
    return text;
}

std::string SerialPort::DevicePath(const std::string& name) {
    // "COMn": n is a decimal number from 1 without leading zeros.
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
        (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
        name[3] >= '1' && name[3] <= '9' && name.size() <= 12) {
        uint64_t n = 0;
        for (size_t i = 3; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9')
                return name;
            n = n * 10 + uint64_t(name[i] - '0');
        }
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    return name;
}

SerialPort::~SerialPort() {
    try {
        close();
    } catch (const Error&) {
        // The descriptor is gone either way; a destructor has nobody to tell.
    }
}

SerialPort::SerialPort(SerialPort&& other) noexcept {
    *this = std::move(other);
}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        try {
            close();
        } catch (const Error&) {
        }
        fd_ = other.fd_;
        name_ = std::move(other.name_);
        path_ = std::move(other.path_);
        settings_ = other.settings_;
        timeouts_ = other.timeouts_;
        inQueueSize_ = other.inQueueSize_;
        outQueueSize_ = other.outQueueSize_;
        isTerminal_ = other.isTerminal_;
        setExclusive_ = other.setExclusive_;
        lock_ = std::move(other.lock_);
        hasErrorCounters_ = other.hasErrorCounters_;
        frameErrors_ = other.frameErrors_;
        parityErrors_ = other.parityErrors_;
        overruns_ = other.overruns_;
        bufferOverruns_ = other.bufferOverruns_;
        breaks_ = other.breaks_;
        other.fd_ = -1;
    }
    return *this;
}

std::string SerialPort::device() const {
    std::string text = "\"" + path_ + "\"";
    if (name_ != path_)
        text += " (" + name_ + ")";
    return text;
}

void SerialPort::fail(const std::string& what, int code) const {
    throw Error(what + " " + device() + ": " + SystemErrorText(code), code);
}

void SerialPort::requireOpen(const char* operation) const {
    if (fd_ < 0)
        throw Error(std::string("Cannot ") + operation + ": the serial port is not open", EBADF);
}

void SerialPort::open(const std::string& name) {
    close();
    name_ = name;
    path_ = DevicePath(name);
    settings_ = SerialControlBlock{};
    timeouts_ = SerialTimeouts{};
    inQueueSize_ = outQueueSize_ = 0;
    hasErrorCounters_ = false;
    setExclusive_ = false;

    // Before the device is touched: opening it may already raise its modem lines.
    lock_.acquire(path_);
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        lock_.release();
        if (code == EBUSY) // the terminal is in exclusive mode for another user
            throw SharingViolation(
                "Serial device " + device() + " is in use: " + SystemErrorText(code), code);
        fail("Cannot open serial device", code);
    }
    // Root's open passes another program's exclusive mode; the mode is read back
    // so that root, too, leaves such a device alone.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        ::close(fd);
        lock_.release();
        throw SharingViolation(
            "Serial device " + device() + " is held exclusively by another program", EBUSY);
    }
    // The flock holds against every other port object, root's included; the
    // terminal's exclusive mode also stops programs that do not lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        lock_.release();
        if (code == EWOULDBLOCK)
            throw SharingViolation(
                "Serial device " + device() + " is in use by another program or port", EBUSY);
        fail("Cannot lock serial device", code);
    }
    fd_ = fd;
    try {
        if (::ioctl(fd_, TIOCEXCL) == 0)
            setExclusive_ = true;
        else if (!NotSupported(errno))
            fail("Cannot make serial device exclusive", errno);
        termios t{};
        isTerminal_ = ::tcgetattr(fd_, &t) == 0;
        if (isTerminal_) {
            serial_termios::MakeBinary(t);
            if (::tcsetattr(fd_, TCSANOW, &t) != 0)
                fail("Cannot set binary mode on serial device", errno);
            if (::tcflush(fd_, TCIOFLUSH) != 0)
                fail("Cannot clear the queues of serial device", errno);
            settings_ = serial_termios::Read(t, settings_);
        } else if (errno != ENOTTY) {
            fail("Cannot read the settings of serial device", errno);
        }
        // Counters of a real UART; their values at open are the zero point.
        if (isTerminal_)
            clearError();
    } catch (...) {
        if (setExclusive_)
            ::ioctl(fd_, TIOCNXCL);
        setExclusive_ = false;
        ::close(fd_);
        fd_ = -1;
        lock_.release();
        throw;
    }
}

SerialControlBlock SerialPort::controlBlock() const {
    requireOpen("read the control block");
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        fail("Cannot read the settings of serial device", errno);
    return serial_termios::Read(t, settings_);
}

std::vector<SettingNotKept> SerialPort::setControlBlock(const SerialControlBlock& block) {
    requireOpen("set the control block");
    const std::string impossible = serial_termios::Impossible(block);
    if (!impossible.empty())
        throw Error("Cannot set serial device " + device() + ": " + impossible, EINVAL);
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        fail("Cannot read the settings of serial device", errno);
    serial_termios::Apply(block, t);
    // tcsetattr reports success when any one of the settings was taken, so what
    // the device really holds is read back below.
    if (::tcsetattr(fd_, TCSANOW, &t) != 0)
        fail("Cannot set serial device", errno);
    applyModemLines(block);
    settings_ = block;
    termios kept{};
    if (::tcgetattr(fd_, &kept) != 0)
        fail("Cannot read the settings of serial device", errno);
    return serial_termios::Compare(block, serial_termios::Read(kept, settings_));
}

void SerialPort::applyModemLines(const SerialControlBlock& block) {
    // DTR handshake has no Linux counterpart: DTR is held on instead.
    int raise = 0;
    int drop = 0;
    (block.fDtrControl == DtrControl::Disable ? drop : raise) |= TIOCM_DTR;
    // With RTS/CTS flow the driver owns RTS; RTS toggling has no counterpart either.
    if (block.fRtsControl == RtsControl::Disable)
        drop |= TIOCM_RTS;
    else if (block.fRtsControl != RtsControl::Handshake && !block.fOutxCtsFlow)
        raise |= TIOCM_RTS;
    for (const auto& [request, bits] : {std::pair{TIOCMBIS, raise}, std::pair{TIOCMBIC, drop}}) {
        if (bits == 0)
            continue;
        if (::ioctl(fd_, request, &bits) != 0 && !NotSupported(errno))
            fail("Cannot set the modem lines of serial device", errno);
    }
}

void SerialPort::setTimeouts(const SerialTimeouts& timeouts) {
    requireOpen("set time-outs");
    timeouts_ = timeouts;
}

void SerialPort::setupQueues(uint32_t inQueue, uint32_t outQueue) {
    requireOpen("set up queues");
    inQueueSize_ = inQueue;
    outQueueSize_ = outQueue;
}

size_t SerialPort::read(void* buffer, size_t count) {
    requireOpen("read");
    if (count == 0)
        return 0;
    constexpr uint32_t kMax = SerialTimeouts::kMaxTimeout;
    const SerialTimeouts& to = timeouts_;
    const bool returnAtOnce = to.ReadIntervalTimeout == kMax &&
                              to.ReadTotalTimeoutMultiplier == 0 &&
                              to.ReadTotalTimeoutConstant == 0;
    const bool returnOnAny = to.ReadIntervalTimeout == kMax &&
                             to.ReadTotalTimeoutMultiplier == kMax &&
                             to.ReadTotalTimeoutConstant > 0 && to.ReadTotalTimeoutConstant < kMax;
    const Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> total;
    if (returnOnAny)
        total = After(start, to.ReadTotalTimeoutConstant);
    else if (to.ReadTotalTimeoutMultiplier != 0 || to.ReadTotalTimeoutConstant != 0)
        total = After(start, uint64_t(to.ReadTotalTimeoutMultiplier) * count +
                                 to.ReadTotalTimeoutConstant);
    const bool useInterval = to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != kMax;

    char* out = static_cast<char*>(buffer);
    size_t got = 0;
    Clock::time_point lastByte{};
    for (;;) {
        const ssize_t n = ::read(fd_, out + got, count - got);
        if (n > 0) {
            got += size_t(n);
            lastByte = Clock::now();
            if (got == count || returnOnAny)
                return got;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            fail("Cannot read from serial device", errno);
        // A terminal in binary mode answers EAGAIN when nothing is waiting; end of
        // file means the line was hung up (a pseudo-terminal's far end closed).
        if (n == 0 && isTerminal_)
            fail("Cannot read from serial device", EIO);
        if (n == 0 || returnAtOnce)
            return got;
        std::optional<Clock::time_point> until = total;
        if (useInterval && got > 0) {
            const auto gapEnd = After(lastByte, to.ReadIntervalTimeout);
            if (!until || gapEnd < *until)
                until = gapEnd;
        }
        const int waitMs = until ? MillisUntil(*until) : -1;
        if (waitMs == 0)
            return got;
        pollfd p{fd_, POLLIN, 0};
        bool stopped = false;
        if (PollOrStop(p, waitMs, stopped) < 0 && errno != EINTR)
            fail("Cannot wait for serial device", errno);
        if (stopped)
            throw Error("Read from serial device " + device() + " ended: the program is stopping",
                        ECANCELED);
    }
}

size_t SerialPort::write(const void* data, size_t count) {
    requireOpen("write");
    const SerialTimeouts& to = timeouts_;
    std::optional<Clock::time_point> total;
    if (to.WriteTotalTimeoutMultiplier != 0 || to.WriteTotalTimeoutConstant != 0)
        total = After(Clock::now(), uint64_t(to.WriteTotalTimeoutMultiplier) * count +
                                        to.WriteTotalTimeoutConstant);
    const char* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, in + done, count - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            fail("Cannot write to serial device", errno);
        const int waitMs = total ? MillisUntil(*total) : -1;
        if (waitMs == 0)
            break;
        pollfd p{fd_, POLLOUT, 0};
        bool stopped = false;
        const int rc = PollOrStop(p, waitMs, stopped);
        if (rc < 0 && errno != EINTR)
            fail("Cannot wait for serial device", errno);
        if (stopped)
            throw Error("Write to serial device " + device() + " ended: the program is stopping",
                        ECANCELED);
        if (rc > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLOUT))
            fail("Cannot write to serial device", EIO);
    }
    return done;
}

SerialDeviceStatus SerialPort::clearError() {
    requireOpen("fetch the device status");
    SerialDeviceStatus status;
    int in = 0;
    int out = 0;
    if (::ioctl(fd_, FIONREAD, &in) != 0)
        fail("Cannot count the input queue of serial device", errno);
    if (::ioctl(fd_, TIOCOUTQ, &out) != 0)
        fail("Cannot count the output queue of serial device", errno);
    status.inQueue = uint32_t(in);
    status.outQueue = uint32_t(out);

    // A UART driver counts line errors; what came up since the last look is the
    // error word, and looking clears it.
    serial_icounter_struct counts{};
    if (::ioctl(fd_, TIOCGICOUNT, &counts) == 0) {
        if (hasErrorCounters_) {
            if (uint32_t(counts.buf_overrun) != bufferOverruns_)
                status.errors |= serial_error::kRxOver;
            if (uint32_t(counts.overrun) != overruns_)
                status.errors |= serial_error::kOverrun;
            if (uint32_t(counts.parity) != parityErrors_)
                status.errors |= serial_error::kRxParity;
            if (uint32_t(counts.frame) != frameErrors_)
                status.errors |= serial_error::kFrame;
            if (uint32_t(counts.brk) != breaks_)
                status.errors |= serial_error::kBreak;
        }
        hasErrorCounters_ = true;
        bufferOverruns_ = uint32_t(counts.buf_overrun);
        overruns_ = uint32_t(counts.overrun);
        parityErrors_ = uint32_t(counts.parity);
        frameErrors_ = uint32_t(counts.frame);
        breaks_ = uint32_t(counts.brk);
    } else if (!NotSupported(errno)) {
        fail("Cannot read the error counters of serial device", errno);
    }

    termios t{};
    int lines = 0;
    if (::tcgetattr(fd_, &t) == 0 && (t.c_cflag & CRTSCTS) && ::ioctl(fd_, TIOCMGET, &lines) == 0 &&
        !(lines & TIOCM_CTS))
        status.flags |= serial_status::kCtsHold;
    return status;
}

void SerialPort::flush() {
    requireOpen("flush");
    while (::tcdrain(fd_) != 0) {
        if (errno != EINTR)
            fail("Cannot flush serial device", errno);
    }
}

void SerialPort::close() {
    if (fd_ < 0)
        return;
    // The exclusive mode belongs to the terminal, not to this descriptor: the one
    // this port set is cleared for the next user, who may not be root.
    if (setExclusive_)
        ::ioctl(fd_, TIOCNXCL);
    setExclusive_ = false;
    const int fd = fd_;
    fd_ = -1;
    const int closed = ::close(fd);
    const int code = errno;
    lock_.release();
    if (closed != 0 && code != EINTR)
        fail("Cannot close serial device", code);
}

} // namespace platform
