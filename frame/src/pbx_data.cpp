#include "frame/pbxAdapter_int.h"

#include <fmt/printf.h>

namespace frame {

rtl::Ref<IPBXData> TPBXData::Create(const std::string& line, const std::string& name) {
    return rtl::Ref<IPBXData>(new TPBXData(line, name));
}

std::string TPBXData::toString() {
    return fmt::sprintf("%s %s", line_, name_);
}

} // namespace frame
