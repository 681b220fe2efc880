// Libraries that are no valid plug-ins, for the host's error paths.
#include "frame/plugin_entry.h"

#ifdef WITHOUT_EXPORTS
extern "C" FRAME_EXPORT int unrelated_function() {
    return 1;
}
#else
// All five exports, but the identity of some other interface.
extern "C" {
FRAME_EXPORT void pluginLibGUID(std::string& out) {
    out = "{00000000-0000-0000-0000-000000000001}";
}
FRAME_EXPORT void create_host_module(rtl::Ref<rtl::IHostModule>&) {}
FRAME_EXPORT void lib_module_attach(rtl::IHostModule*) {}
FRAME_EXPORT void lib_module_detach(rtl::IHostModule*) {}
FRAME_EXPORT void createPluginInstance(rtl::Ref<rtl::IPlugin>&) {}
}
#endif
