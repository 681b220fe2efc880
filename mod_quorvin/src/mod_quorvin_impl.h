// TPBXManager: the plug-in object of the PBX manager library. Started, it runs
// the event module (TpbxManagerDM) on the "mod_quorvin" section of the host's
// configuration and registers its configuration editor; stopped, it frees both.
#pragma once

#include "pbx_manager_dm.h"

#include "frame/edit_int.h"
#include "frame/plugin_int.h"

#include "rtl/config_check.h"
#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/plugin.h"
#include "rtl/status.h"

#include <memory>

namespace quorvin {

class TPBXManager : public rtl::TPlugin<rtl::IPlugin, frame::IStartable, frame::IContextAware,
                                        rtl::IStatusSource, rtl::IConfigCheck> {
public:
    TPBXManager();
    // A plug-in released while started is stopped first, so that its editor
    // does not stay registered.
    ~TPBXManager() override;

    void setContext(rtl::IContext* context) override;
    // Creates the event module (which connects and clears the event log; a
    // database that cannot be reached does not stop the start) and registers
    // the editor. Raises rtl::EContextError when the context holds no
    // configuration.
    void start() override;
    void stop() override;
    bool isStarted() override { return bool(pbxManagerDM_); }
    // The last cycle's time and result and the events it left waiting.
    rtl::TStatus status() override;

    // Its keys; it writes no files; the check opens the front database.
    std::vector<std::string> knownKeys() override;
    std::vector<rtl::TWrittenPath> writtenPaths(rtl::IConfiguration& section) override;
    std::vector<rtl::TCheckFinding> connectCheck(rtl::IConfiguration& section) override;

    // The "mod_quorvin" section of the root configuration, looked up at the
    // first need and kept for the object's life (stop does not drop it).
    rtl::Ref<rtl::IConfiguration> getConfiguration();

    // While started; for tests.
    TpbxManagerDM* eventModule() const { return pbxManagerDM_.get(); }

private:
    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IConfiguration> configuration_;
    std::unique_ptr<TpbxManagerDM> pbxManagerDM_;
    rtl::Ref<frame::ICfgEditor> editor_;
};

} // namespace quorvin
