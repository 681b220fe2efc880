#include "rtl/form_base.h"

namespace rtl {

int TmirvFormF::ShowModal() {
    failure_ = nullptr;
    int result = mrCancel;
    try {
        refreshData();
        result = execModal();
    } catch (...) {
        localFinalize();
        throw;
    }
    localFinalize();
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
    return result == mrOk ? mrOk : mrCancel;
}

void TmirvFormF::ActionOk() {
    try {
        transferData();
    } catch (...) {
        failure_ = std::current_exception();
        closeModal(mrCancel);
        return;
    }
    closeModal(mrOk);
}

void TmirvFormF::ActionCancel() {
    closeModal(mrCancel);
}

} // namespace rtl
