// The frame's exports are compiled into the GUI tests (they hold the
// application object the dialogs belong to); this is the plug-in they create.
#include "frame/plugin_entry.h"

#include "rtl/plugin.h"

namespace {
class TGuiTestPlugin : public rtl::TPlugin<rtl::IPlugin> {
public:
    TGuiTestPlugin() { setName("mod_guitest"); }
};
} // namespace

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new TGuiTestPlugin);
}
