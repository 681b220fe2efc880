// The plug-in object this library hands to the host.
#include "mod_varnel_impl.h"

#include "frame/plugin_entry.h"

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new mod_varnel::TVarnel);
}
