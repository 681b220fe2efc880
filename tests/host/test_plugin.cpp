// A plug-in for the host tests: an adapter that answers every line operation
// with true, registers an editor while started, and logs what it sees. The
// key "fail_start" = "1" in its section makes start raise after the editor was
// registered; "editor_section" names another section for its editor. The
// editor writes two defaults, shows the common configuration dialog and, after
// a save, logs every setting of its section.
#include "frame/cfg_editor.h"
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"

#include "rtl/context.h"
#include "rtl/logger.h"
#include "rtl/plugin.h"

#include <stdexcept>

namespace {

class THostTestEditor : public frame::TCfgEditor {
public:
    explicit THostTestEditor(const std::string& section)
        : TCfgEditor({"THostTestEditor", "Host test", "Host test plug-in", section}) {}

protected:
    void setDefaults(rtl::IConfiguration& section) override {
        if (!section.has("timer_interval"))
            section.set("timer_interval", "0");
        if (!section.has("rs.device"))
            section.set("rs.device", "COM1");
    }
    void confirmed(rtl::IConfiguration& section) override {
        for (const auto& entry : section.tree()->descendants())
            rtl::TLogger::trace(this, "Config key %s = %s", entry->path(), entry->value());
    }
};

class THostTestPlugin
    : public rtl::TPlugin<frame::IPBXAdapter, frame::IStartable, frame::IContextAware> {
public:
    THostTestPlugin() {
        setName(TEST_PLUGIN_NAME);
        setDescription("Host test plug-in");
        setVersion(101);
    }

    ~THostTestPlugin() override { rtl::TLogger::debug(this, "Plug-in object destroyed"); }

    void setContext(rtl::IContext* context) override {
        context_ = rtl::Ref<rtl::IContext>(context);
    }

    void start() override {
        rtl::TLogger::debug(this, "--- Startup begin ---");
        auto section =
            rtl::TContextQuery::getAny<rtl::IConfiguration>(context_.get())->sub(TEST_PLUGIN_NAME);
        const std::string editorSection = section->get("editor_section", TEST_PLUGIN_NAME);
        editor_ = rtl::Ref<frame::ICfgEditor>(new THostTestEditor(editorSection));
        context_->registerObject(editor_.get());
        if (section->get("fail_start") == "1")
            throw std::runtime_error("start refused by configuration");
        if (auto self =
                rtl::TContextQuery::queryName<frame::IPBXAdapter>(context_.get(), TEST_PLUGIN_NAME))
            rtl::TLogger::debug(this, "Found adapter %s", self->pluginName());
        rtl::TLogger::debug(this, "--- Startup end ---");
    }

    void stop() override {
        rtl::TLogger::debug(this, "--- Shutdown begin ---");
        if (editor_)
            context_->unregisterObject(editor_.get());
        editor_.reset();
        rtl::TLogger::debug(this, "--- Shutdown end ---");
    }

    bool isStarted() override { return bool(editor_); }

    bool openLine(frame::IPBXData* data, std::string& info) override { return answer(data, info); }
    bool closeLine(frame::IPBXData* data, std::string& info) override { return answer(data, info); }
    bool setGuestName(frame::IPBXData* data, std::string& info) override {
        return answer(data, info);
    }

private:
    bool answer(frame::IPBXData* data, std::string& info) {
        info = "done " + data->toString();
        return true;
    }

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<frame::ICfgEditor> editor_;
};

} // namespace

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new THostTestPlugin);
}
