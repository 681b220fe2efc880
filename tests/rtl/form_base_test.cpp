// The dialog protocol: fill, modal loop, save or cancel, errors of storing.
#include "rtl/form_base.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

// A dialog whose modal loop is a script standing for the user.
class TScriptedForm : public rtl::TmirvFormF {
public:
    std::function<void(TScriptedForm&)> user;
    std::function<void()> onTransfer = [] {};
    std::string calls;
    int closedWith = -1;

protected:
    void refreshData() override { calls += "refresh "; }
    void transferData() override {
        calls += "transfer ";
        onTransfer();
    }
    void localFinalize() override { calls += "finalize "; }
    int execModal() override {
        calls += "exec ";
        user(*this);
        return closedWith;
    }
    void closeModal(int result) override { closedWith = result; }
};

TEST(FormBase, SaveStoresThenAnswersOkAndCancelStoresNothing) {
    TScriptedForm saved;
    saved.user = [](TScriptedForm& f) { f.ActionOk(); };
    EXPECT_EQ(saved.ShowModal(), rtl::TmirvFormF::mrOk);
    EXPECT_EQ(saved.calls, "refresh exec transfer finalize ");

    TScriptedForm cancelled;
    cancelled.user = [](TScriptedForm& f) { f.ActionCancel(); };
    EXPECT_EQ(cancelled.ShowModal(), rtl::TmirvFormF::mrCancel);
    EXPECT_EQ(cancelled.calls, "refresh exec finalize ");
}

TEST(FormBase, AnErrorWhileStoringClosesTheDialogAndReachesTheCaller) {
    TScriptedForm form;
    form.user = [](TScriptedForm& f) { f.ActionOk(); };
    form.onTransfer = [] { throw std::runtime_error("configuration refused the write"); };
    EXPECT_THROW(
        {
            try {
                form.ShowModal();
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "configuration refused the write");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_EQ(form.calls, "refresh exec transfer finalize ");
    EXPECT_EQ(form.closedWith, rtl::TmirvFormF::mrCancel);

    // The next showing starts clean.
    form.onTransfer = [] {};
    EXPECT_EQ(form.ShowModal(), rtl::TmirvFormF::mrOk);
}

} // namespace
