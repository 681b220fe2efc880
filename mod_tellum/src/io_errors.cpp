#include "io_errors.h"

#include "platform/error.h"

#include <fmt/printf.h>

namespace tellum {

EInOutError EInOutError::FromSystem(const std::string& context, int code) {
    return EInOutError(
        fmt::sprintf("%s%s%s (%d)", context, "\r\n", platform::SystemErrorText(code), code), code);
}

} // namespace tellum
