// mod_testadapter: a PBX adapter plug-in built only for the tests. It answers
// every line operation with true and appends each call, as
// "openLine(<line>, <name>)", to the file named by its key "calls_file".
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/logger.h"
#include "rtl/plugin.h"

#include <fstream>

namespace {

class TTestAdapter
    : public rtl::TPlugin<frame::IPBXAdapter, frame::IStartable, frame::IContextAware> {
public:
    TTestAdapter() {
        setName("mod_testadapter");
        setDescription("Recording adapter for the tests");
        setVersion(1);
    }

    void setContext(rtl::IContext* context) override {
        context_ = rtl::Ref<rtl::IContext>(context);
    }
    void start() override {
        section_ =
            rtl::TContextQuery::getAny<rtl::IConfiguration>(context_.get())->sub("mod_testadapter");
    }
    void stop() override { section_.reset(); }
    bool isStarted() override { return bool(section_); }

    bool openLine(frame::IPBXData* data, std::string& info) override {
        return record("openLine", data, info);
    }
    bool closeLine(frame::IPBXData* data, std::string& info) override {
        return record("closeLine", data, info);
    }
    bool setGuestName(frame::IPBXData* data, std::string& info) override {
        return record("setGuestName", data, info);
    }

private:
    bool record(const char* operation, frame::IPBXData* data, std::string& info) {
        info.clear();
        if (!section_) {
            info = "not started";
            return false;
        }
        const std::string call =
            std::string(operation) + "(" + data->line() + ", " + data->name() + ")";
        rtl::TLogger::debug(this, "%s", call);
        std::ofstream(section_->get("calls_file"), std::ios::app) << call << '\n';
        return true;
    }

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IConfiguration> section_;
};

} // namespace

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new TTestAdapter);
}
