#include "rsstream.h"

#include "io_errors.h"
#include "rs_dumps.h"
#include "text_utils.h"

#include "platform/error.h"

#include "rtl/logger.h"

#include <fmt/printf.h>

namespace tellum {

namespace {

// A log line with the exception's message after it, as TLogger::error writes it.
void LogWithException(rtl::LogLevel level, const std::string& source, const std::string& text,
                      const std::exception& e) {
    if (rtl::TLogger::isEnabled(level))
        rtl::TLogger::write(level, source, text + ": " + e.what());
}

bool IsComName(const std::string& upper) {
    if (upper.size() < 4 || upper.compare(0, 3, "COM") != 0)
        return false;
    for (size_t i = 3; i < upper.size(); ++i)
        if (upper[i] < '0' || upper[i] > '9')
            return false;
    return true;
}

} // namespace

TRS232Stream::TRS232Stream(const std::string& deviceName, rtl::Ref<IRS232Config> configurator)
    : deviceName_(NormaliseDeviceName(deviceName)), configurator_(std::move(configurator)) {
    open();
}

TRS232Stream::TRS232Stream(rtl::Ref<rtl::IConfiguration> rs, bool writeDefaults)
    : configurator_(rtl::MakeRef<TCfgRS232Config>(rs, writeDefaults)) {
    deviceName_ = NormaliseDeviceName(rs->get("device", "COM1"));
    open();
}

TRS232Stream::~TRS232Stream() {
    close();
}

std::string TRS232Stream::NormaliseDeviceName(const std::string& name) {
    const std::string trimmed = Trim(name);
    std::string upper = UpperAscii(trimmed);
    while (!upper.empty() && upper.back() == ':')
        upper.pop_back();
    // Only the classic port names are folded; a device path is case-sensitive.
    return IsComName(upper) ? upper : trimmed;
}

void TRS232Stream::open() {
    std::lock_guard guard(lock_);
    openLocked();
}

void TRS232Stream::openLocked() {
    rtl::TLogger::debug(this, "Opening stream for %s ...", deviceName_);
    try {
        closeLocked();
        try {
            port_.open(deviceName_);
        } catch (const platform::SharingViolation& e) {
            // The port's own text names the device's path and, where its lock
            // file tells, the program that holds it.
            throw EInOutError(
                fmt::sprintf("Open file %s%s%s (%d)", deviceName_, "\r\n", e.what(), e.code()),
                e.code());
        } catch (const platform::Error& e) {
            throw EInOutError::FromSystem(fmt::sprintf("Open file %s", deviceName_), e.code());
        }
        try {
            configurator_->configure(deviceName_, port_);
            if (rtl::TLogger::isDebugEnabled()) {
                platform::SerialControlBlock block;
                try {
                    block = port_.controlBlock();
                } catch (const platform::Error& e) {
                    throw EInOutError::FromSystem(fmt::sprintf("GetCommState for %s", deviceName_),
                                                  e.code());
                }
                for (const std::string& line : ControlBlockDump(deviceName_, block))
                    rtl::TLogger::debug(this, "%s", line);
            }
        } catch (...) {
            try {
                port_.close();
            } catch (const platform::Error&) {
                // The open already failed; that is what the caller must hear.
            }
            throw;
        }
        rtl::TLogger::debug(this, "Opening stream for %s DONE.", deviceName_);
    } catch (const std::exception& e) {
        LogWithException(rtl::LogLevel::Warn, className(),
                         fmt::sprintf("STREAM_OPEN_ERROR for %s.", deviceName_), e);
        throw;
    }
}

size_t TRS232Stream::read(void* buffer, size_t count) {
    std::lock_guard guard(lock_);
    if (!port_.isOpen())
        throw EInOutError(fmt::sprintf("Device is not open %s", deviceName_), 0);
    size_t got = 0;
    try {
        got = port_.read(buffer, count);
    } catch (const platform::Error& e) {
        throw EInOutError::FromSystem(fmt::sprintf("ReadFile for %s", deviceName_), e.code());
    }
    if (rtl::TLogger::isTraceEnabled()) {
        dumpDeviceStatus();
        traceBlock("rd", buffer, got);
    }
    return got;
}

size_t TRS232Stream::write(const void* buffer, size_t count) {
    std::lock_guard guard(lock_);
    if (!port_.isOpen())
        throw EInOutError(fmt::sprintf("Device is not open %s", deviceName_), 0);
    size_t written = 0;
    try {
        written = port_.write(buffer, count);
    } catch (const platform::Error& e) {
        throw EInOutError::FromSystem(fmt::sprintf("WriteFile for %s", deviceName_), e.code());
    }
    if (rtl::TLogger::isTraceEnabled()) {
        dumpDeviceStatus();
        traceBlock("wr", buffer, written);
    }
    return written;
}

void TRS232Stream::traceBlock(const char* prefix, const void* buffer, size_t count) {
    // The block is shown as a zero-terminated text of at most `count` characters,
    // so it stops early at a zero byte.
    const std::string format =
        std::string(prefix) + ": <![CDATA[%." + std::to_string(count) + "s]]>";
    const std::string text(static_cast<const char*>(buffer), count);
    rtl::TLogger::trace(this, format, text.c_str());
}

int64_t TRS232Stream::available() {
    std::lock_guard guard(lock_);
    if (!port_.isOpen())
        return 0;
    try {
        return port_.clearError().inQueue;
    } catch (const platform::Error& e) {
        throw EInOutError::FromSystem(
            fmt::sprintf("ClearCommError (fetchDeviceStatus) for %s", deviceName_), e.code());
    }
}

void TRS232Stream::flush() {
    std::lock_guard guard(lock_);
    if (!port_.isOpen())
        return;
    try {
        port_.flush();
    } catch (const platform::Error&) {
        // Flushing is a courtesy before the next write or close; its result is not used.
    }
}

void TRS232Stream::close() {
    std::lock_guard guard(lock_);
    closeLocked();
}

void TRS232Stream::closeLocked() {
    if (!port_.isOpen())
        return;
    if (rtl::TLogger::isDebugEnabled()) {
        // The device is released even when its state cannot be fetched any more.
        try {
            dumpDeviceStatus();
        } catch (const std::exception& e) {
            LogWithException(rtl::LogLevel::Debug, className(),
                             fmt::sprintf("Error loging device state for %s.", deviceName_), e);
        }
    }
    try {
        port_.close();
    } catch (const platform::Error& e) {
        rtl::TLogger::error(this, "STREAM_CLOSE_ERROR closing handle for %s. OS error: %s (%d)",
                            deviceName_, platform::SystemErrorText(e.code()), e.code());
    }
    rtl::TLogger::debug(this, "Closing stream for %s DONE.", deviceName_);
}

void TRS232Stream::dumpDeviceStatus() {
    platform::SerialDeviceStatus status;
    try {
        status = port_.clearError();
    } catch (const platform::Error& e) {
        throw EInOutError::FromSystem(
            fmt::sprintf("ClearCommError (fetchDeviceStatus) for %s", deviceName_), e.code());
    }
    try {
        for (const std::string& line : DeviceStatusDump(deviceName_, status))
            rtl::TLogger::debug(this, "%s", line);
    } catch (const std::exception& e) {
        LogWithException(rtl::LogLevel::Debug, className(),
                         fmt::sprintf("Error loging device state for %s.", deviceName_), e);
    }
}

int64_t TRS232Stream::seek(int64_t, SeekOrigin) {
    throw ENotSeekable(className());
}

int64_t TRS232Stream::skip(int64_t) {
    throw ENotSeekable(className());
}

bool TRS232Stream::isClosed() const {
    std::lock_guard guard(lock_);
    return !port_.isOpen();
}

} // namespace tellum
