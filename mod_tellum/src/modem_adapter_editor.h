// TModemAdapterEditor: the editor the modem adapter registers in the host's
// context. Before its dialog opens it writes the defaults of every missing key
// of the "mod_tellum" section (command lines, answer deadline, set-up strings,
// and the serial settings in "rs"); after a confirmation it traces every key.
#pragma once

#include "frame/cfg_editor.h"

namespace tellum {

class TModemAdapterEditor : public frame::TCfgEditor {
public:
    TModemAdapterEditor();

    static constexpr const char* kSection = "mod_tellum";

protected:
    void setDefaults(rtl::IConfiguration& section) override;
    void confirmed(rtl::IConfiguration& section) override;
};

} // namespace tellum
