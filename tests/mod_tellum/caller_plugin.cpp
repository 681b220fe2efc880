// A plug-in for the host tests that plays the PBX manager's part: once the host
// runs, it finds the adapter named in its key "adapter" by plug-in name and calls
// openLine, setGuestName and closeLine for its key "line", logging each answer
// as "<operation> <line> = <true|false>, info "<info>"".
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"

#include "platform/timer.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/logger.h"
#include "rtl/plugin.h"

#include <exception>
#include <memory>

namespace {

class TTellumCaller : public rtl::TPlugin<rtl::IPlugin, frame::IStartable, frame::IContextAware> {
public:
    TTellumCaller() {
        setName("mod_tellumcaller");
        setDescription("Calls a PBX adapter once for the tests");
        setVersion(1);
    }

    void setContext(rtl::IContext* context) override {
        context_ = rtl::Ref<rtl::IContext>(context);
    }

    void start() override {
        // The calls come from the event loop, as the manager's cycle would make them.
        timer_ = std::make_unique<platform::Timer>([this] {
            timer_->stop();
            callAdapter();
        });
        timer_->setInterval(0);
        timer_->start();
    }
    void stop() override { timer_.reset(); }
    bool isStarted() override { return bool(timer_); }

private:
    void callAdapter() {
        auto section =
            rtl::TContextQuery::getAny<rtl::IConfiguration>(context_.get())->sub(pluginName());
        const std::string name = section->get("adapter");
        const std::string line = section->get("line");
        auto adapter = rtl::TContextQuery::queryName<frame::IPBXAdapter>(context_.get(), name);
        if (!adapter) {
            rtl::TLogger::error(this, "No adapter %s", name);
            return;
        }
        using Operation = bool (frame::IPBXAdapter::*)(frame::IPBXData*, std::string&);
        const std::pair<const char*, Operation> calls[] = {
            {"openLine", &frame::IPBXAdapter::openLine},
            {"setGuestName", &frame::IPBXAdapter::setGuestName},
            {"closeLine", &frame::IPBXAdapter::closeLine},
        };
        std::string info;
        for (const auto& [operation, call] : calls) {
            auto data =
                frame::TPBXData::Create(line, operation == std::string("closeLine") ? "" : "Smith");
            try {
                const bool done = (adapter.get()->*call)(data.get(), info);
                rtl::TLogger::debug(this, "%s %s = %s, info \"%s\"", operation, line,
                                    done ? "true" : "false", info);
            } catch (const std::exception& e) {
                rtl::TLogger::error(this, e, "%s %s raised", operation, line);
            }
        }
    }

    rtl::Ref<rtl::IContext> context_;
    std::unique_ptr<platform::Timer> timer_;
};

} // namespace

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new TTellumCaller);
}
