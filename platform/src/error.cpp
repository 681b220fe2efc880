#include "platform/error.h"

#include <cstring>

namespace platform {

std::string SystemErrorText(int code) {
    char buffer[256];
    // GNU strerror_r returns the text (which may not be in buffer).
    return ::strerror_r(code, buffer, sizeof buffer);
}

} // namespace platform
