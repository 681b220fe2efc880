#include "frame/common_cfg_editor.h"

#include "frame/common_cfg_form.h"

namespace frame {

bool showConfigEditor(rtl::IContext* context, rtl::IConfiguration* configuration, bool treeMode,
                      const std::string& moduleName) {
    TfrmCommonEditor form(context, configuration, treeMode, moduleName, DialogParent());
    return form.ShowModal() == TfrmCommonEditor::mrOk;
}

} // namespace frame
