// TPluginLoader: loads plug-in libraries and drives each through its protocol
// (identity, attach, create, setContext, registration, start), and at the end
// through stop, unregistration, release, detach and unload, last loaded first.
// A plug-in that fails at any step is reported in one error line naming its
// file and the reason, undone as far as it got, and the others go on.
#pragma once

#include "rtl/context.h"
#include "rtl/host_module.h"
#include "rtl/plugin.h"

#include <memory>
#include <string>
#include <vector>

namespace host {

class TPluginLoader {
public:
    TPluginLoader(rtl::Ref<rtl::IContext> context, rtl::Ref<rtl::IHostModule> hostModule);
    ~TPluginLoader();
    TPluginLoader(const TPluginLoader&) = delete;
    TPluginLoader& operator=(const TPluginLoader&) = delete;

    // True when the plug-in was loaded and started. With `start` false it is
    // taken through every step but the start (identity, the five exports,
    // attach, create, setContext, registration), for a check that must not
    // let it work.
    bool load(const std::string& file, bool start = true);
    // The reason the last load() failed.
    const std::string& lastError() const { return lastError_; }
    // Stops and unloads every plug-in, last loaded first.
    void unloadAll();

    // pluginName of each running plug-in, in load order.
    std::vector<std::string> pluginNames() const;
    // The plug-in object of each loaded plug-in, in load order.
    std::vector<rtl::Ref<rtl::IPlugin>> plugins() const;
    // Whether `object` comes from the library of the running plug-in `pluginName`.
    bool comesFrom(const std::string& pluginName, rtl::IImplemented* object) const;

private:
    struct Loaded;
    void unload(Loaded& plugin);
    void dropLeftovers(Loaded& plugin);

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IHostModule> hostModule_;
    std::vector<std::unique_ptr<Loaded>> loaded_;
    std::string lastError_;
};

} // namespace host
