#include "modem_adapter_impl.h"

#include "modem_adapter_editor.h"
#include "modem_driver.h"

#include "rtl/configuration.h"
#include "rtl/logger.h"

#include <chrono>

namespace tellum {

TModemAdapter::TModemAdapter() {
    setName("mod_tellum");
    setDescription("PBX adapter for modem communication");
    setVersion(101);
}

void TModemAdapter::setContext(rtl::IContext* context) {
    context_ = rtl::Ref<rtl::IContext>(context);
}

void TModemAdapter::start() {
    editor_ = rtl::Ref<frame::ICfgEditor>(new TModemAdapterEditor);
    if (context_)
        context_->registerObject(editor_.get());
}

void TModemAdapter::stop() {
    if (editor_ && context_)
        context_->unregisterObject(editor_.get());
    editor_.reset();
}

bool TModemAdapter::openLine(frame::IPBXData* data, std::string& info) {
    return runLineOperation(data, info, &IModemDriver::unlock, "--- Begin open line ---",
                            "--- End open line ---");
}

bool TModemAdapter::closeLine(frame::IPBXData* data, std::string& info) {
    return runLineOperation(data, info, &IModemDriver::lock, "--- Begin close line ---",
                            "--- End close line ---");
}

bool TModemAdapter::setGuestName(frame::IPBXData*, std::string& info) {
    info.clear();
    rtl::TLogger::debug(this, "Set guest name is not supported function");
    return true;
}

bool TModemAdapter::runLineOperation(frame::IPBXData* data, std::string& info, Operation operation,
                                     const char* beginLine, const char* endLine) {
    rtl::TLogger::debug(this, beginLine);
    info.clear();
    // The driver outlives the end line, so the port's closing lines follow it.
    rtl::Ref<IModemDriver> driver;
    bool done = false;
    lastOperationAt_ = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    lastOperationDone_ = false;
    try {
        rtl::Ref<rtl::IConfiguration> section =
            rtl::TContextQuery::getAny<rtl::IConfiguration>(context_.get())
                ->sub(TModemAdapterEditor::kSection);
        driver = rtl::MakeRef<TModemDriver>(section);
        rtl::Ref<IResult> result;
        (driver.get()->*operation)(data ? data->line() : std::string(), result);
        done = !result->failed();
        if (!done)
            lastError_ = info = result->message();
    } catch (const std::exception& e) {
        lastError_ = e.what();
        rtl::TLogger::debug(this, endLine);
        throw;
    } catch (...) {
        rtl::TLogger::debug(this, endLine);
        throw;
    }
    lastOperationDone_ = done;
    rtl::TLogger::debug(this, endLine);
    return done;
}

rtl::TStatus TModemAdapter::status() {
    rtl::TStatus status;
    status.lastError = lastError_;
    status.fields = {{"last_operation", lastOperationAt_},
                     {"last_result", std::string(lastOperationAt_ == 0 ? ""
                                                 : lastOperationDone_  ? "ok"
                                                                       : "failed")}};
    if (lastOperationAt_ != 0 && !lastOperationDone_)
        status.attention = {"modem: last line operation failed"};
    status.summary = lastOperationAt_ == 0
                         ? "modem: no line operation yet"
                         : "modem: last line operation " + rtl::StatusTime(lastOperationAt_) + " " +
                               (lastOperationDone_ ? "ok" : "failed");
    return status;
}

} // namespace tellum
