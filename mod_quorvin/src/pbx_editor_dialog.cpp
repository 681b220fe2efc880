#include "pbx_editor_dialog.h"

namespace quorvin {

bool ShowPBXEditorDialog(rtl::IContext*, rtl::IConfiguration&) {
    return false;
}

} // namespace quorvin
