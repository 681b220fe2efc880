// TPBXManagerEditor: the PBX manager's configuration editor, registered in the
// host's registry while the plug-in runs. It writes the defaults of missing
// keys of the "mod_quorvin" section, shows the manager's dialog on it and
// lists the section in the log when the user confirmed.
#pragma once

#include "frame/cfg_editor.h"

#include "rtl/configuration.h"
#include "rtl/context.h"

namespace quorvin {

class TPBXManagerEditor : public frame::TCfgEditor {
public:
    TPBXManagerEditor();

    // For "db.name", "db.dialect", "db.user_name", "db.password",
    // "db.sql_role_name" and "timer_interval", in this order, sets the default
    // when the key is missing; present keys, even empty ones, stay.
    void setDefaults(rtl::IConfiguration& section) override;
    // One trace line "Config key <name> = <value>" per entry below the
    // section, parents before children; the password is masked.
    void logConfiguration(rtl::IConfiguration& section);

protected:
    // The manager's own dialog (see pbx_editor_dialog.h); true when the user
    // confirmed.
    virtual bool showEditorDialog(rtl::IContext* context, rtl::IConfiguration& section);

private:
    bool showDialog(rtl::IContext* context, rtl::IConfiguration& section) final {
        return showEditorDialog(context, section);
    }
    void confirmed(rtl::IConfiguration& section) final { logConfiguration(section); }
};

} // namespace quorvin
