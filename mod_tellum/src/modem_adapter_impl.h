// TModemAdapter: the plug-in object of mod_tellum, a PBX adapter whose exchange
// locks and unlocks lines through a modem. Each line operation runs one modem
// conversation with a driver of its own, which holds the serial port only for
// that operation. Guest names are not supported.
#pragma once

#include "frame/edit_int.h"
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_int.h"

#include "rtl/config_check.h"
#include "rtl/context.h"
#include "rtl/plugin.h"
#include "rtl/status.h"

#include <string>

namespace tellum {

class IModemDriver;
class IResult;

class TModemAdapter
    : public rtl::TPlugin<frame::IPBXAdapter, frame::IStartable, frame::IContextAware,
                          rtl::IStatusSource, rtl::IConfigCheck> {
public:
    TModemAdapter();

    void setContext(rtl::IContext* context) override;
    // Registers the adapter's editor in the context.
    void start() override;
    // Unregisters and drops the editor.
    void stop() override;
    bool isStarted() override { return bool(editor_); }

    // Run the unlock / lock command line for data->line(). A failed conversation
    // answers false with its text in `info`; a missing configuration or a port
    // that cannot be opened or configured raises.
    bool openLine(frame::IPBXData* data, std::string& info) override;
    bool closeLine(frame::IPBXData* data, std::string& info) override;
    // Empties `info` and answers true: the exchange shows no names.
    bool setGuestName(frame::IPBXData* data, std::string& info) override;

    // The last line operation's time and result.
    rtl::TStatus status() override;

    // Its keys; the serial device it opens for reading and writing; the check
    // opens the device once (without talking to the modem).
    std::vector<std::string> knownKeys() override;
    std::vector<rtl::TWrittenPath> writtenPaths(rtl::IConfiguration& section) override;
    std::vector<rtl::TCheckFinding> connectCheck(rtl::IConfiguration& section) override;

private:
    using Operation = void (IModemDriver::*)(const std::string&, rtl::Ref<IResult>&);
    bool runLineOperation(frame::IPBXData* data, std::string& info, Operation operation,
                          const char* beginLine, const char* endLine);

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<frame::ICfgEditor> editor_;
    int64_t lastOperationAt_ = 0; // seconds since the epoch; 0: none yet
    bool lastOperationDone_ = false;
    std::string lastError_;
};

} // namespace tellum
