#include "modem_adapter_editor.h"

#include "rs232_config.h"

#include "rtl/logger.h"

namespace tellum {

TModemAdapterEditor::TModemAdapterEditor()
    : TCfgEditor({"TModemAdapterEditor", "Modem Adapter", "PBX adapter for modem communication",
                  kSection}) {}

void TModemAdapterEditor::setDefaults(rtl::IConfiguration& section) {
    static constexpr const char* kDefaults[][2] = {
        {"lock_command_line", ""},  {"unlock_command_line", ""}, {"read_time_out", "1000"},
        {"modem_config_str_1", ""}, {"modem_config_str_2", ""},  {"modem_config_str_3", ""},
    };
    for (const auto& [key, value] : kDefaults)
        if (!section.has(key))
            section.set(key, value);
    // The serial settings' defaults are the stream configurator's own.
    rtl::MakeRef<TCfgRS232Config>(section.sub("rs"), true);
}

void TModemAdapterEditor::confirmed(rtl::IConfiguration& section) {
    for (const rtl::Ref<rtl::IResTree>& entry : section.tree()->descendants())
        rtl::TLogger::trace(this, "Config key %s = %s", entry->path(), entry->value());
}

} // namespace tellum
