#include "modem_adapter_impl.h"

#include "modem_adapter_editor.h"
#include "modem_driver.h"

#include "rtl/configuration.h"
#include "rtl/logger.h"

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
    try {
        rtl::Ref<rtl::IConfiguration> section =
            rtl::TContextQuery::getAny<rtl::IConfiguration>(context_.get())
                ->sub(TModemAdapterEditor::kSection);
        driver = rtl::MakeRef<TModemDriver>(section);
        rtl::Ref<IResult> result;
        (driver.get()->*operation)(data ? data->line() : std::string(), result);
        done = !result->failed();
        if (!done)
            info = result->message();
    } catch (...) {
        rtl::TLogger::debug(this, endLine);
        throw;
    }
    rtl::TLogger::debug(this, endLine);
    return done;
}

} // namespace tellum
