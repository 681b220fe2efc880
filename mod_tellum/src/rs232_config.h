// Configurators of the serial stream: they apply line settings to a port the
// stream has just opened. TDefaultRS232Config applies a fixed device-control
// string ("9600,n,8,1"); TCfgRS232Config builds that string from the "rs"
// section of the adapter's configuration.
#pragma once

#include "platform/serial_port.h"

#include "rtl/configuration.h"
#include "rtl/ifc_object.h"

#include <string>

namespace tellum {

class IRS232Config : public rtl::IImplemented {
public:
    // No identity of its own: a configurator is handed to the stream directly,
    // never looked up.
    static constexpr rtl::Guid iid{};
    using Base = rtl::IImplemented;

    // Applies the settings to the open `port`; `deviceName` serves the messages.
    // Raises EInOutError (a system call failed) or EConfigurationError.
    virtual void configure(const std::string& deviceName, platform::SerialPort& port) = 0;

protected:
    ~IRS232Config() = default;
};

// Line settings from a device-control string, with queues of 2048/512 bytes,
// XON/XOFF limits of 512, abort on error, and time-outs that end a one-byte read
// on a silent line after about 350 ms.
class TDefaultRS232Config : public rtl::TLTMIfcObject<IRS232Config> {
public:
    explicit TDefaultRS232Config(std::string deviceControl)
        : deviceControl_(std::move(deviceControl)) {}

    void configure(const std::string& deviceName, platform::SerialPort& port) override;
    const std::string& deviceControl() const { return deviceControl_; }

    static constexpr uint32_t kInQueue = 2048;
    static constexpr uint32_t kOutQueue = 512;
    // Interval, read multiplier, read constant, write multiplier, write constant.
    static constexpr platform::SerialTimeouts kTimeouts{300, 50, 300, 50, 300};

private:
    std::string deviceControl_;
};

// Line settings from the keys "rate", "data", "stop", "parity" and "flow" of the
// "rs" section, read anew at every configure.
class TCfgRS232Config : public rtl::TLTMIfcObject<IRS232Config> {
public:
    // With `writeDefaults` the keys the section lacks are written with their
    // defaults ("device" COM1, "rate" 9600, "data" 8, "stop" 1, "parity" none,
    // "flow" none, in this order); present values, even empty ones, stay.
    TCfgRS232Config(rtl::Ref<rtl::IConfiguration> rs, bool writeDefaults);

    void configure(const std::string& deviceName, platform::SerialPort& port) override;

    // "rate,parity,data,stop[,flow]" from the section, e.g. "9600,n,8,1" or
    // "19200,e,7,2,p". Parity, flow and stop are checked in this order; a word
    // outside its list raises EConfigurationError. A rate or data size that is
    // missing or no integer becomes 9600 or 8.
    std::string deviceControlString();

private:
    rtl::Ref<rtl::IConfiguration> rs_;
};

} // namespace tellum
