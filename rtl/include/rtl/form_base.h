// TmirvFormF: the protocol of the host's modal dialogs, without their widgets.
// ShowModal fills the controls (refreshData), runs the toolkit's modal loop
// (execModal, supplied by the widget side) and answers 1 when the user
// confirmed. The save action stores the controls (transferData) before the
// dialog closes; an error there closes the dialog and is raised again from
// ShowModal, so it reaches the caller and never crosses the toolkit's loop.
#pragma once

#include "rtl/context.h"

#include <exception>
#include <string>

namespace rtl {

class TmirvFormF {
public:
    static constexpr int mrNone = 0;
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    TmirvFormF() = default;
    virtual ~TmirvFormF() = default;
    TmirvFormF(const TmirvFormF&) = delete;
    TmirvFormF& operator=(const TmirvFormF&) = delete;

    // mrOk when the user saved, otherwise mrCancel. Runs localFinalize once the
    // modal loop has ended, whatever the outcome.
    int ShowModal();

    // The save and cancel actions the buttons run.
    void ActionOk();
    void ActionCancel();

    // What the dialog works on, for the toolkit side (title, text codec).
    virtual IContext* context() { return nullptr; }
    virtual std::string moduleName() { return {}; }

protected:
    virtual void refreshData() {}
    virtual void transferData() {}
    // Drops the references the dialog holds.
    virtual void localFinalize() {}

    // Shows the dialog and returns when closeModal was called; answers the code given.
    virtual int execModal() = 0;
    // Ends the modal loop with `result`.
    virtual void closeModal(int result) = 0;

private:
    std::exception_ptr failure_;
};

} // namespace rtl
