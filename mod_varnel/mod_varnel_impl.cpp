#include "mod_varnel_impl.h"

#include "varnel_editor.h"

#include <stdexcept>

namespace mod_varnel {

TVarnel::TVarnel() {
    setName(AdapterName);
    setDescription(AdapterDescription);
    setVersion(101);
}

TVarnel::~TVarnel() {
    // A host that releases a started object still ends its module's work.
    module_.reset();
}

void TVarnel::setContext(rtl::IContext* context) {
    context_ = rtl::Ref<rtl::IContext>(context);
}

rtl::Ref<rtl::IConfiguration> TVarnel::getConfiguration() {
    if (!configuration_)
        configuration_ =
            rtl::TContextQuery::getAny<rtl::IConfiguration>(context_.get())->sub(AdapterName);
    return configuration_;
}

void TVarnel::start() {
    if (!context_)
        throw std::logic_error("mod_varnel started without a context");
    editor_ = rtl::Ref<frame::ICfgEditor>(new THLDriverEditor);
    context_->registerObject(editor_.get());
    configuration_.reset();
    module_ = std::make_unique<TvarnelDM>(getConfiguration());
}

void TVarnel::stop() {
    module_.reset();
    if (editor_ && context_)
        context_->unregisterObject(editor_.get());
    editor_.reset();
    configuration_.reset();
}

bool TVarnel::ready(frame::IPBXData* data, std::string& info) {
    info.clear();
    if (!module_) {
        info = "Adapter mod_varnel is not started";
        return false;
    }
    if (!data) {
        info = "No line data given";
        return false;
    }
    return true;
}

bool TVarnel::openLine(frame::IPBXData* data, std::string& info) {
    return ready(data, info) && module_->openLine(data, info);
}

bool TVarnel::closeLine(frame::IPBXData* data, std::string& info) {
    return ready(data, info) && module_->closeLine(data, info);
}

bool TVarnel::setGuestName(frame::IPBXData* data, std::string& info) {
    return ready(data, info) && module_->setGuestName(data, info);
}

rtl::TStatus TVarnel::status() {
    if (module_)
        return module_->status();
    rtl::TStatus status;
    status.summary = "hotel link: not started";
    status.attention = {status.summary};
    return status;
}

} // namespace mod_varnel
