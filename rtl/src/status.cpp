#include "rtl/status.h"

#include <ctime>

namespace rtl {

const TStatusField::Value* TStatus::field(const std::string& name) const {
    for (const auto& f : fields) {
        if (f.name == name)
            return &f.value;
    }
    return nullptr;
}

std::string StatusTime(int64_t epochSeconds) {
    const std::time_t t = std::time_t(epochSeconds);
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

} // namespace rtl
