#include "frame/cfg_editor.h"

#include "frame/common_cfg_editor.h"

namespace frame {

bool TCfgEditor::accepts(rtl::IImplemented* target) {
    root_.reset();
    if (!target)
        return true;
    root_ = rtl::Query<rtl::IConfiguration>(target);
    return bool(root_);
}

bool TCfgEditor::edit(rtl::IContext* context) {
    if (!root_)
        root_ = rtl::TContextQuery::queryAny<rtl::IConfiguration>(context);
    if (!root_)
        return false;
    rtl::Ref<rtl::IConfiguration> section = root_->sub(names_.configName);
    setDefaults(*section);
    // The dialog belongs to the context the editor was given; the argument
    // serves when none was.
    rtl::IContext* dialogContext = context_ ? context_.get() : context;
    if (!showDialog(dialogContext, *section))
        return false;
    confirmed(*section);
    return true;
}

bool TCfgEditor::showDialog(rtl::IContext* context, rtl::IConfiguration& section) {
    return showConfigEditor(context, &section, true, names_.configName);
}

} // namespace frame
