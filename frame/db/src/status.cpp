#include "status.h"

#include "fbdb/error.h"

#include <string>

namespace fbdb::detail {

Firebird::IMaster* Master() {
    static Firebird::IMaster* const master = Firebird::fb_get_master_interface();
    return master;
}

Status::Status() : wrapper_(Master()->getStatus()) {}

// The wrapper only delegates; the status object it wraps is ours to dispose.
Status::~Status() {
    wrapper_.dispose();
}

bool Status::failed() const {
    return (wrapper_.getState() & Firebird::IStatus::STATE_ERRORS) != 0;
}

void Status::check() {
    if (!failed())
        return;
    char text[2048] = {};
    Master()->getUtilInterface()->formatStatus(text, sizeof text - 1, &wrapper_);
    Error error(std::string(text), wrapper_.getErrors());
    wrapper_.init();
    throw error;
}

} // namespace fbdb::detail
