#include "pbx_editor_dialog.h"

#include "pbx_manager_form.h"

namespace quorvin {

bool ShowPBXEditorDialog(rtl::IContext* context, rtl::IConfiguration& section) {
    TfrmPBXEditor form(context, &section);
    return form.ShowModal() == 1;
}

} // namespace quorvin
