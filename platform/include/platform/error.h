// Errors raised by the platform layer: one type carrying the system error code
// (errno, 0 when none) and a message that names the object concerned.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, int code = 0)
        : std::runtime_error(message), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

// Another program holds a lock that the requested access conflicts with
// (the analog of a Windows sharing violation).
class SharingViolation : public Error {
public:
    using Error::Error;
};

// The system's text for an errno value.
std::string SystemErrorText(int code);

} // namespace platform
