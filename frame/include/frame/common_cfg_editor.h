// The common configuration dialog: one plug-in's configuration branch as a
// two-column tree of settings and values, written back when the user saves.
#pragma once

#include "rtl/configuration.h"
#include "rtl/context.h"

#include <string>

namespace frame {

// Shows the dialog modally over `configuration` (the plug-in's section) and
// answers true exactly when the user saved. `treeMode` lists nested settings
// under their sections; `moduleName` names the plug-in the dialog is for.
// The dialog belongs to DialogParent(). Errors of the configuration, and an
// unknown code page at "host.text_codec", are raised to the caller.
bool showConfigEditor(rtl::IContext* context, rtl::IConfiguration* configuration, bool treeMode,
                      const std::string& moduleName);

} // namespace frame
