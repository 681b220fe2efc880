// The five exports of every plug-in library and what a plug-in supplies for
// them. The frame provides the exports; a plug-in library defines only its
// plug-in class and frame::CreatePlugin, and is built with add_pbx_plugin().
// All libraries of the process come from one compiler and share one heap, so
// the exports take C++ interface pointers and std::string out-texts.
//
// The host calls them in this order: pluginLibGUID, lib_module_attach,
// createPluginInstance (then setContext and start on the object); at the end
// stop, release of the object, lib_module_detach, unload.
#pragma once

#include "rtl/host_module.h"
#include "rtl/plugin.h"

#include <string>

#define FRAME_EXPORT __attribute__((visibility("default")))

extern "C" {
// Sets `out` to the identity of IPlugin this library implements,
// "{8AFC6F67-8092-49B1-B86F-F131FD9DC1E2}".
FRAME_EXPORT void pluginLibGUID(std::string& out);
// A host module describing this library's framework instance (a TGUIHostModule).
FRAME_EXPORT void create_host_module(rtl::Ref<rtl::IHostModule>& out);
// Joins the library to the host's module: when the host runs another framework
// instance, its log and serial factories are installed here and the host's
// application object becomes this library's.
FRAME_EXPORT void lib_module_attach(rtl::IHostModule* host);
// Undoes lib_module_attach.
FRAME_EXPORT void lib_module_detach(rtl::IHostModule* host);
// A new plug-in object on every call, as the view the plug-in chose
// (IPlugin, or IPBXAdapter for adapters).
FRAME_EXPORT void createPluginInstance(rtl::Ref<rtl::IPlugin>& out);
}

// The exports' types, for hosts that look them up by name.
using PluginLibGuidFn = void (*)(std::string&);
using CreateHostModuleFn = void (*)(rtl::Ref<rtl::IHostModule>&);
using LibModuleAttachFn = void (*)(rtl::IHostModule*);
using LibModuleDetachFn = void (*)(rtl::IHostModule*);
using CreatePluginInstanceFn = void (*)(rtl::Ref<rtl::IPlugin>&);

class QObject;

namespace frame {

// Defined by each plug-in library: constructs its plug-in object and returns
// the view createPluginInstance hands out.
rtl::Ref<rtl::IPlugin> CreatePlugin();

// This library's application object, the parent of its dialogs: the process's
// Qt application unless lib_module_attach put the host's in its place.
QObject* application();
// Replaces it (lib_module_attach and lib_module_detach); null means the process's own.
void setApplication(QObject* application);

} // namespace frame
