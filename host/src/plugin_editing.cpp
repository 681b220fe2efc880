#include "plugin_editing.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

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
