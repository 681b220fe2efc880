#include "plugin_editing.h"

#include "host_settings.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdlib>

namespace host {

rtl::Ref<frame::ICfgEditor> FindEditor(rtl::IContext* context, const TPluginLoader& loader,
                                       const std::string& name) {
    const auto editors = rtl::TContextQuery::all<frame::ICfgEditor>(context);
    for (const auto& editor : editors) {
        if (editor->configName() == name)
            return editor;
    }
    for (const auto& editor : editors) {
        if (loader.comesFrom(name, editor.get()))
            return editor;
    }
    return {};
}

std::optional<DialogAnswer> TestDialogAnswer() {
    const char* value = std::getenv("PBXHOST_TEST_DIALOG");
    if (!value || !*value)
        return std::nullopt;
    const std::string text = value;
    if (text == "save")
        return DialogAnswer::Save;
    if (text == "cancel")
        return DialogAnswer::Cancel;
    throw EUsageError("Unknown PBXHOST_TEST_DIALOG \"" + text + "\" (save or cancel)");
}

struct DialogAutoAnswer::Impl {
    QTimer poll;
};

DialogAutoAnswer::DialogAutoAnswer(DialogAnswer answer) : impl_(std::make_unique<Impl>()) {
    // The dialog runs its own modal loop, which keeps this timer ticking.
    impl_->poll.setInterval(20);
    QObject::connect(&impl_->poll, &QTimer::timeout, [answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        if (answer == DialogAnswer::Save)
            dialog->accept();
        else
            dialog->reject();
    });
    impl_->poll.start();
}

DialogAutoAnswer::~DialogAutoAnswer() = default;

} // namespace host
