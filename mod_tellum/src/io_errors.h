// Errors of the serial stream: an I/O error carrying the system error code, the
// refusal of a positioning request on a stream that cannot seek, and a serial
// setting outside its word list.
#pragma once

#include "rtl/configuration.h"

#include <stdexcept>
#include <string>

namespace tellum {

// A failed system call: the message reads "<context>\r\n<system text> (<code>)",
// and errorCode() holds the code (0 for failures that carry no system text).
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& message, int errorCode)
        : std::runtime_error(message), errorCode_(errorCode) {}
    int errorCode() const noexcept { return errorCode_; }

    // "<context>\r\n<system text for code> (<code>)".
    static EInOutError FromSystem(const std::string& context, int code);

private:
    int errorCode_;
};

// A stream asked to move its position; the message is the stream's class name.
class ENotSeekable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A configuration value the adapter cannot use. It is one of the host's
// configuration errors, so a host that catches those sees it too.
class EConfigurationError : public rtl::EConfigError {
public:
    using rtl::EConfigError::EConfigError;
};

} // namespace tellum
