#include "varnel_editor.h"

namespace mod_varnel {

namespace {

struct Setting {
    const char* key;
    const char* value;
};

// The adapter's settings with their defaults. The angle-bracket values name no
// real database or account: the installer replaces them.
constexpr Setting Defaults[] = {
    {"varnel.path", ""},
    {"varnel.driver_ip", "localhost"},
    {"varnel.driver_port", "2561"},
    {"varnel.log_path", ""},
    {"check_in.def_password", "4827"},
    {"check_in.def_language", "1"},
    {"out_tickect_scan.cache_file_name", "cach_file.dat"},
    {"out_tickect_scan.spool_file_name", "spool.dat"},
    {"timer_interval", "0"},
    {"db.name", "<database>"},
    {"db.dialect", "1"},
    {"db.user_name", "<user_name>"},
    {"db.password", "<passcode>"},
    {"db.sql_role_name", ""},
};

} // namespace

THLDriverEditor::THLDriverEditor()
    : TCfgEditor({"THLDriverEditor", "Varnel (Orvane)", AdapterDescription, AdapterName}) {}

void THLDriverEditor::setDefaults(rtl::IConfiguration& section) {
    for (const Setting& s : Defaults)
        if (!section.has(s.key))
            section.set(s.key, s.value);
}

} // namespace mod_varnel
