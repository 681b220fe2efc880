// The PBX manager's configuration dialog (TfrmPBXEditor): which adapter to
// drive, the timer interval and the front database connection. This is the
// one place where the editor reaches the widgets.
#pragma once

#include "rtl/configuration.h"
#include "rtl/context.h"

namespace quorvin {

// Shows the dialog modally over `section` (the "mod_quorvin" section; the
// adapters offered are those registered in `context`) and answers true exactly
// when the user confirmed, after the dialog wrote its values into the section.
// The dialog is freed in every case.
bool ShowPBXEditorDialog(rtl::IContext* context, rtl::IConfiguration& section);

} // namespace quorvin
