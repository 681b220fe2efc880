// The exports every plug-in library carries; compiled into each plug-in, so
// each library keeps its own saved application object.
#include "frame/plugin_entry.h"

#include "rtl/logger.h"

#include <cstdint>

namespace {

const char* const Category = "gui_lib_module";

// The one lib_module_attach replaced, put back by lib_module_detach.
QObject* savedApplication = nullptr;

intptr_t AsInteger(QObject* object) {
    return reinterpret_cast<intptr_t>(object);
}

// When the host runs this very runtime instance (always so while rtl is one
// shared library), logger and application are already the host's.
bool SharesHostFramework(rtl::IHostModule* host) {
    rtl::Ref<rtl::IImplemented> hostSample = host->getObjectSample();
    rtl::Ref<rtl::IImplemented> ownSample = rtl::THostModule::sampleInstance();
    return rtl::SameObject(hostSample.get(), ownSample.get());
}

} // namespace

extern "C" {

void pluginLibGUID(std::string& out) {
    out = rtl::IPlugin::iid.toString();
}

void create_host_module(rtl::Ref<rtl::IHostModule>& out) {
    out = rtl::Ref<rtl::IHostModule>(new rtl::TGUIHostModule(frame::application()));
}

void lib_module_attach(rtl::IHostModule* host) {
    if (!host || SharesHostFramework(host))
        return;
    rtl::TLogger::setMultilogFactory(host->multilogFactory());
    rtl::TSerialMgr::setMultiserialFactory(host->multiserialFactory());
    rtl::TLogger::trace(Category, "headless_lib_module.lib_module_attach()");
    savedApplication = frame::application();
    if (auto gui = rtl::Query<rtl::IGUIHostModule>(host)) {
        rtl::TLogger::trace(Category, "lib_module_attach: replace Forms.Application (%d) with %d",
                            AsInteger(savedApplication), AsInteger(gui->application()));
        frame::setApplication(gui->application());
    }
}

void lib_module_detach(rtl::IHostModule* host) {
    if (!host || SharesHostFramework(host))
        return;
    rtl::TLogger::trace(Category, "lib_module_detach() ...");
    frame::setApplication(savedApplication);
    rtl::TLogger::trace(Category, "lib_module_detach: restore Forms.Application with %d",
                        AsInteger(frame::application()));
    rtl::TLogger::setMultilogFactory({});
    rtl::TSerialMgr::setMultiserialFactory({});
}

void createPluginInstance(rtl::Ref<rtl::IPlugin>& out) {
    out = frame::CreatePlugin();
}

} // extern "C"
