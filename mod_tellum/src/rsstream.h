// TRS232Stream: the byte channel to a modem on a serial port. It opens the device
// exclusively when created, applies the line settings through its configurator,
// and offers blocking reads and writes that the port's time-outs keep short.
// Failed system calls raise EInOutError; its life cycle and, at the trace level,
// every byte block go to the log.
#pragma once

#include "rs232_config.h"
#include "stream_int.h"

#include "platform/serial_port.h"

#include "rtl/configuration.h"
#include "rtl/ifc_object.h"

#include <mutex>
#include <string>

namespace tellum {

class TRS232Stream : public rtl::TLTMIfcObject<IOutputStream, IInputStream> {
public:
    // Opens `deviceName` (normalised, see NormaliseDeviceName) and lets the
    // configurator set the line up. Raises what the open raised; a stream that
    // could not be opened is never handed out.
    TRS232Stream(const std::string& deviceName, rtl::Ref<IRS232Config> configurator);
    // The same with a TCfgRS232Config over the "rs" section and its key "device"
    // (default "COM1").
    TRS232Stream(rtl::Ref<rtl::IConfiguration> rs, bool writeDefaults);
    ~TRS232Stream() override;

    // Trimmed; a "COMn" name (any case, trailing ":" characters) is upper-cased
    // without the colons ("com1:" gives "COM1"). Any other name, such as an
    // absolute device path, stays as given.
    static std::string NormaliseDeviceName(const std::string& name);

    // Closes the device if open, then opens and configures it again.
    void open();

    // Up to `count` bytes; 0 when the port's read time-out ran out first.
    size_t read(void* buffer, size_t count) override;
    size_t write(const void* buffer, size_t count) override;
    // Bytes waiting in the input queue (0 while closed); also clears the port's
    // pending error state.
    int64_t available() override;
    bool ready() override { return available() > 0; }
    void flush() override;
    // Nothing happens while closed.
    void close() override;
    // A serial line has no position: both raise ENotSeekable("TRS232Stream").
    int64_t seek(int64_t offset, SeekOrigin origin) override;
    int64_t skip(int64_t count) override;

    bool isClosed() const;
    const std::string& deviceName() const { return deviceName_; }

private:
    void openLocked();
    void closeLocked();
    // The device status dump (debug lines). A failure to fetch the status raises;
    // a failure while writing the lines is logged and swallowed.
    void dumpDeviceStatus();
    void traceBlock(const char* prefix, const void* buffer, size_t count);

    // Open calls close while holding it, so the holding thread must be able to
    // take it again.
    mutable std::recursive_mutex lock_;
    std::string deviceName_;
    rtl::Ref<IRS232Config> configurator_;
    platform::SerialPort port_;
};

} // namespace tellum
