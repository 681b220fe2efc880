// The plug-in object this library hands to the host: a TModemAdapter, as its
// IPBXAdapter view.
#include "modem_adapter_impl.h"

#include "frame/plugin_entry.h"

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Query<frame::IPBXAdapter>(rtl::MakeRef<tellum::TModemAdapter>());
}
