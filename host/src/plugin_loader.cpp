#include "plugin_loader.h"

#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"

#include "platform/dynamic_library.h"
#include "platform/error.h"

#include "rtl/logger.h"

#include <QCoreApplication>
#include <QEvent>

#include <dlfcn.h>
#include <strings.h>

#include <stdexcept>

namespace host {

namespace {

// A step of the protocol failed; the text is the reason for the log line.
class ELoadFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <typename F> F Export(const platform::DynamicLibrary& library, const char* name) {
    F function = library.function<F>(name);
    if (!function)
        throw ELoadFailure(std::string("export ") + name + " is missing");
    return function;
}

// The loaded object file an address belongs to (nullptr when none).
void* ObjectFileOf(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) ? info.dli_fbase : nullptr;
}

// Objects carry their class's virtual table, which lies in the library that
// defined the class.
void* ObjectFileOf(rtl::IImplemented* object) {
    return ObjectFileOf(*reinterpret_cast<void* const*>(object));
}

} // namespace

struct TPluginLoader::Loaded {
    std::string file;
    platform::DynamicLibrary library;
    LibModuleDetachFn detach = nullptr;
    bool attached = false;
    rtl::Ref<rtl::IPlugin> plugin;
    std::string name;
    bool registered = false;
    rtl::Ref<frame::IStartable> startable;
    bool started = false;
};

TPluginLoader::TPluginLoader(rtl::Ref<rtl::IContext> context, rtl::Ref<rtl::IHostModule> hostModule)
    : context_(std::move(context)), hostModule_(std::move(hostModule)) {}

TPluginLoader::~TPluginLoader() {
    unloadAll();
}

bool TPluginLoader::load(const std::string& file, bool start) {
    lastError_.clear();
    rtl::TLogger::debug(this, "Loading plug-in %s", file);
    auto plugin = std::make_unique<Loaded>();
    plugin->file = file;
    std::string stage = "not loaded";
    try {
        plugin->library = platform::DynamicLibrary(file);
        auto identity = Export<PluginLibGuidFn>(plugin->library, "pluginLibGUID");
        Export<CreateHostModuleFn>(plugin->library, "create_host_module");
        auto attach = Export<LibModuleAttachFn>(plugin->library, "lib_module_attach");
        plugin->detach = Export<LibModuleDetachFn>(plugin->library, "lib_module_detach");
        auto create = Export<CreatePluginInstanceFn>(plugin->library, "createPluginInstance");

        std::string guid;
        identity(guid);
        const std::string expected = rtl::IPlugin::iid.toString();
        if (guid.size() != expected.size() || strcasecmp(guid.c_str(), expected.c_str()) != 0)
            throw ELoadFailure("identity \"" + guid + "\" is not the plug-in identity " + expected);

        attach(hostModule_.get());
        plugin->attached = true;

        create(plugin->plugin);
        if (!plugin->plugin)
            throw ELoadFailure("createPluginInstance gave no object");
        plugin->name = plugin->plugin->pluginName();
        for (const auto& other : loaded_) {
            if (other->name == plugin->name)
                throw ELoadFailure("a plug-in named " + plugin->name + " is already running");
        }
        if (auto aware = rtl::Query<frame::IContextAware>(plugin->plugin))
            aware->setContext(context_.get());
        context_->registerObject(plugin->plugin.get());
        plugin->registered = true;

        stage = "not started";
        if (start)
            plugin->startable = rtl::Query<frame::IStartable>(plugin->plugin);
        if (plugin->startable) {
            plugin->startable->start();
            plugin->started = true;
        }
    } catch (const std::exception& e) {
        lastError_ = stage + ": " + e.what();
        rtl::TLogger::error(this, "Plug-in %s %s: %s", file, stage, e.what());
        unload(*plugin);
        return false;
    } catch (...) {
        lastError_ = stage + ": unknown exception";
        rtl::TLogger::error(this, "Plug-in %s %s: unknown exception", file, stage);
        unload(*plugin);
        return false;
    }
    rtl::TLogger::debug(this, start ? "Plug-in %s started from %s" : "Plug-in %s loaded from %s",
                        plugin->name, file);
    loaded_.push_back(std::move(plugin));
    return true;
}

void TPluginLoader::unloadAll() {
    while (!loaded_.empty()) {
        std::unique_ptr<Loaded> last = std::move(loaded_.back());
        loaded_.pop_back();
        rtl::TLogger::debug(this, "Stopping plug-in %s", last->name);
        unload(*last);
        rtl::TLogger::debug(this, "Plug-in %s unloaded", last->name);
    }
}

std::vector<std::string> TPluginLoader::pluginNames() const {
    std::vector<std::string> names;
    for (const auto& plugin : loaded_)
        names.push_back(plugin->name);
    return names;
}

std::vector<rtl::Ref<rtl::IPlugin>> TPluginLoader::plugins() const {
    std::vector<rtl::Ref<rtl::IPlugin>> result;
    for (const auto& plugin : loaded_)
        result.push_back(plugin->plugin);
    return result;
}

bool TPluginLoader::comesFrom(const std::string& pluginName, rtl::IImplemented* object) const {
    if (!object)
        return false;
    for (const auto& plugin : loaded_) {
        if (plugin->name != pluginName || !plugin->detach)
            continue;
        const void* library = ObjectFileOf(reinterpret_cast<const void*>(plugin->detach));
        return library && library == ObjectFileOf(object);
    }
    return false;
}

// Undoes whatever steps `plugin` got through, in reverse order. A start that
// raised still gets its stop: it may have registered objects before failing.
void TPluginLoader::unload(Loaded& plugin) {
    if (plugin.startable) {
        try {
            plugin.startable->stop();
        } catch (const std::exception& e) {
            rtl::TLogger::error(this, "Plug-in %s did not stop cleanly: %s", plugin.file, e.what());
        } catch (...) {
            rtl::TLogger::error(this, "Plug-in %s did not stop cleanly: unknown exception",
                                plugin.file);
        }
        plugin.startable.reset();
    }
    if (plugin.registered)
        context_->unregisterObject(plugin.plugin.get());
    plugin.plugin.reset();
    if (plugin.library.loaded())
        dropLeftovers(plugin);
    if (plugin.attached) {
        try {
            plugin.detach(hostModule_.get());
        } catch (const std::exception& e) {
            rtl::TLogger::error(this, "Plug-in %s not detached: %s", plugin.file, e.what());
        }
    }
    // Deferred deletions may still run code of the library: let them run first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    try {
        plugin.library.unload();
    } catch (const platform::Error& e) {
        rtl::TLogger::error(this, "Plug-in %s not unloaded: %s", plugin.file, e.what());
    }
}

// Objects of the library still in the registry would outlive its code. A
// library loaded twice (the same file under two names) stays in memory while
// the other entry runs, and so may its objects.
void TPluginLoader::dropLeftovers(Loaded& plugin) {
    const void* base =
        ObjectFileOf(plugin.detach ? reinterpret_cast<const void*>(plugin.detach) : nullptr);
    if (!base)
        return;
    for (const auto& other : loaded_) {
        if (other.get() != &plugin && other->library.handle() == plugin.library.handle())
            return;
    }
    std::vector<rtl::Ref<rtl::IImplemented>> leftovers;
    for (auto it = context_->queryAll(rtl::IImplemented::iid); it->hasNext();) {
        rtl::Ref<rtl::IImplemented> object = it->next();
        if (ObjectFileOf(object.get()) == base)
            leftovers.push_back(object);
    }
    for (const auto& object : leftovers) {
        rtl::TLogger::warn(this, "Plug-in %s left %s in the context; removed", plugin.file,
                           object->toString());
        context_->unregisterObject(object.get());
    }
}

} // namespace host
