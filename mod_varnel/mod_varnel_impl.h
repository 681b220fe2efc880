// TVarnel: the hotel-link adapter's plug-in object. Started, it registers its
// configuration editor and creates the adapter module, to which the PBX
// manager's line operations are passed on.
#pragma once

#include "varnel_dm.h"

#include "frame/edit_int.h"
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_int.h"
#include "rtl/config_check.h"
#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/plugin.h"
#include "rtl/status.h"

#include <memory>

namespace mod_varnel {

class TVarnel : public rtl::TPlugin<frame::IPBXAdapter, frame::IStartable, frame::IContextAware,
                                    rtl::IStatusSource, rtl::IConfigCheck> {
public:
    TVarnel();
    ~TVarnel() override;

    void setContext(rtl::IContext* context) override;
    // The "mod_varnel" section of the context's configuration, cached until the
    // next start or stop. Raises when the context holds no configuration.
    rtl::Ref<rtl::IConfiguration> getConfiguration();

    void start() override;
    void stop() override;
    bool isStarted() override { return bool(editor_); }

    // Passed on to the adapter module. Before start and after stop there is no
    // module: the answer is false with a text saying so.
    bool openLine(frame::IPBXData* data, std::string& info) override;
    bool closeLine(frame::IPBXData* data, std::string& info) override;
    bool setGuestName(frame::IPBXData* data, std::string& info) override;

    // The module's status; "hotel link: not started" without one.
    rtl::TStatus status() override;

    // Its keys; the queue folder, cache, spool and rejects files it writes;
    // the check opens the front database and the link to the HL driver.
    std::vector<std::string> knownKeys() override;
    std::vector<rtl::TWrittenPath> writtenPaths(rtl::IConfiguration& section) override;
    std::vector<rtl::TCheckFinding> connectCheck(rtl::IConfiguration& section) override;

    TvarnelDM* module() { return module_.get(); }

private:
    bool ready(frame::IPBXData* data, std::string& info);

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IConfiguration> configuration_;
    rtl::Ref<frame::ICfgEditor> editor_;
    std::unique_ptr<TvarnelDM> module_;
};

} // namespace mod_varnel
