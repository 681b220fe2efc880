// A plug-in for the host tests: an adapter that answers every line operation
// with true, registers an editor while started, and logs what it sees. The
// key "fail_start" = "1" in its section makes start raise after the editor was
// registered; "editor_section" names another section for its editor. The
// editor writes two defaults, shows the common configuration dialog and, after
// a save, logs every setting of its section. It reports a status line
// ("<name>: tick N", N counting the ticks of a timer of "status_tick_ms"), and
// "greeting" is logged at the start, and "wait_ms" makes it wait that long in a timer slot right
// after its start, as a link-library command waits for the driver.
#include "frame/cfg_editor.h"
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"

#include "rtl/context.h"
#include "rtl/logger.h"
#include "rtl/plugin.h"
#include "rtl/status.h"

#include "platform/event_loop.h"

#include <QTimer>

#include <memory>

#include <cstdlib>
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

class THostTestPlugin : public rtl::TPlugin<frame::IPBXAdapter, frame::IStartable,
                                            frame::IContextAware, rtl::IStatusSource> {
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
        if (section->has("greeting"))
            rtl::TLogger::debug(this, "Greeting %s", section->get("greeting"));
        if (const int tick = std::atoi(section->get("status_tick_ms").c_str()); tick > 0) {
            ticker_ = std::make_unique<QTimer>();
            QObject::connect(ticker_.get(), &QTimer::timeout, [this] { ++ticks_; });
            ticker_->start(tick);
        }
        if (const int wait = std::atoi(section->get("wait_ms").c_str()); wait > 0) {
            QTimer::singleShot(0, [this, wait] {
                rtl::TLogger::debug(this, "Waiting %d ms", wait);
                platform::WaitUntil([] { return false; }, uint32_t(wait));
                rtl::TLogger::debug(this, "Wait ended");
            });
        }
        rtl::TLogger::debug(this, "--- Startup end ---");
    }

    rtl::TStatus status() override {
        rtl::TStatus status;
        status.summary = std::string(TEST_PLUGIN_NAME) + ": tick " + std::to_string(ticks_);
        status.fields = {{"ticks", int64_t(ticks_)}};
        return status;
    }

    void stop() override {
        rtl::TLogger::debug(this, "--- Shutdown begin ---");
        if (editor_)
            context_->unregisterObject(editor_.get());
        editor_.reset();
        ticker_.reset();
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
    std::unique_ptr<QTimer> ticker_;
    int ticks_ = 0;
};

} // namespace

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new THostTestPlugin);
}
