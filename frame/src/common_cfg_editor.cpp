#include "frame/common_cfg_editor.h"

namespace frame {

bool showConfigEditor(rtl::IContext*, rtl::IConfiguration*, bool, const std::string&) {
    return false;
}

} // namespace frame
