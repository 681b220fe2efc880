#include "pbx_manager_editor.h"

#include "pbx_editor_dialog.h"

#include "frame/front_db.h"

#include "rtl/logger.h"

namespace quorvin {

namespace {

struct Default {
    const char* key;
    const char* value;
};
// In the order they are written, which is the order a fresh section lists them.
constexpr Default kDefaults[] = {
    {"db.name", "database"},     {"db.dialect", "1"},      {"db.user_name", "SYSDBA"},
    {"db.password", "tamarind"}, {"db.sql_role_name", ""}, {"timer_interval", "5000"},
};

} // namespace

TPBXManagerEditor::TPBXManagerEditor()
    : TCfgEditor({"TPBXManagerEditor", "PBX manager", "PBX manager", "mod_quorvin"}) {}

void TPBXManagerEditor::setDefaults(rtl::IConfiguration& section) {
    for (const Default& d : kDefaults) {
        if (!section.has(d.key))
            section.set(d.key, d.value);
    }
}

void TPBXManagerEditor::logConfiguration(rtl::IConfiguration& section) {
    for (const rtl::Ref<rtl::IResTree>& entry : section.tree()->descendants()) {
        const std::string value =
            entry->path() == "db.password" ? frame::MaskedPassword(entry->value()) : entry->value();
        rtl::TLogger::trace(this, "Config key %s = %s", entry->name(), value);
    }
}

bool TPBXManagerEditor::showEditorDialog(rtl::IContext* context, rtl::IConfiguration& section) {
    return ShowPBXEditorDialog(context, section);
}

} // namespace quorvin
