#include "mod_quorvin_impl.h"

#include "pbx_manager_editor.h"

#include "frame/plugin_entry.h"

#include "rtl/logger.h"

namespace quorvin {

TPBXManager::TPBXManager() {
    setName(kIfcModuleName);
    setDescription("PBX manager");
    setVersion(101);
}

TPBXManager::~TPBXManager() {
    if (isStarted() || editor_)
        stop();
}

void TPBXManager::setContext(rtl::IContext* context) {
    context_ = rtl::Ref<rtl::IContext>(context);
}

rtl::Ref<rtl::IConfiguration> TPBXManager::getConfiguration() {
    if (!configuration_) {
        rtl::Ref<rtl::IConfiguration> root =
            rtl::TContextQuery::getAny<rtl::IConfiguration>(context_.get());
        configuration_ = root->sub(kIfcModuleName);
    }
    return configuration_;
}

void TPBXManager::start() {
    rtl::TLogger::debug(this, "--- Startup begin ---");
    rtl::Ref<rtl::IConfiguration> section = getConfiguration();
    pbxManagerDM_ = std::make_unique<TpbxManagerDM>(context_, section);
    rtl::Ref<TPBXManagerEditor> editor(new TPBXManagerEditor);
    editor->setContext(context_.get());
    editor_ = rtl::Ref<frame::ICfgEditor>(editor);
    context_->registerObject(editor_.get());
    rtl::TLogger::debug(this, "--- Startup end ---");
}

void TPBXManager::stop() {
    rtl::TLogger::debug(this, "--- Shutdown begin ---");
    if (editor_ && context_)
        context_->unregisterObject(editor_.get());
    editor_.reset();
    pbxManagerDM_.reset();
    rtl::TLogger::debug(this, "--- Shutdown end ---");
}

rtl::TStatus TPBXManager::status() {
    rtl::TStatus status;
    if (!pbxManagerDM_) {
        status.summary = "manager: not started";
        status.attention = {status.summary};
        return status;
    }
    const TpbxManagerDM::CycleReport& cycle = pbxManagerDM_->lastCycle();
    status.lastError = cycle.lastError;
    status.fields = {{"last_cycle", cycle.finishedAt},
                     {"last_result", cycle.result},
                     {"events_waiting", int64_t(cycle.eventsWaiting)}};
    if (cycle.finishedAt == 0) {
        status.summary = "manager: no cycle yet";
        return status;
    }
    if (cycle.result != "ok")
        status.attention = {"manager: last cycle " + cycle.result};
    status.summary = "manager: last cycle " + rtl::StatusTime(cycle.finishedAt) + " " +
                     cycle.result + ", " + std::to_string(cycle.eventsWaiting) +
                     (cycle.eventsWaiting == 1 ? " event" : " events") + " waiting";
    return status;
}

} // namespace quorvin

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new quorvin::TPBXManager);
}
