#include "test_support/modal_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace test_support {

void RunWithDialog(const std::function<void()>& show, const std::function<void(QDialog&)>& user) {
    bool acted = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (acted || !dialog || !dialog->isVisible())
            return;
        acted = true;
        poll.stop();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog, 20000));
        user(*dialog);
        if (dialog->isVisible() && testing::Test::HasFatalFailure())
            dialog->done(QDialog::Rejected);
    });
    // The last resort against a dialog nobody closes.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    watchdog.setInterval(60000);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "the dialog was left open";
            dialog->done(QDialog::Rejected);
        }
    });
    poll.start();
    watchdog.start();
    show();
    EXPECT_TRUE(acted) << "no dialog was shown";
}

} // namespace test_support
