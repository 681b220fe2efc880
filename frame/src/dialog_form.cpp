#include "frame/dialog_form.h"

#include "frame/plugin_entry.h"

#include "rtl/configuration.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QValidator>

#include <stdexcept>

namespace frame {

namespace {

// Runs before QDialog's constructor: a widget made without a widget
// application aborts the whole process instead of raising.
QWidget* Checked(QWidget* parent) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw std::runtime_error("Cannot show a dialog: the process has no widget application");
    return parent;
}

class TCodePageValidator : public QValidator {
public:
    TCodePageValidator(const TmirvFormF& form, QObject* parent) : QValidator(parent), form_(form) {}
    State validate(QString& input, int&) const override {
        return form_.codec().canEncode(input) ? Acceptable : Invalid;
    }

private:
    const TmirvFormF& form_;
};

} // namespace

const TTextCodec& TextCodecOf(rtl::IContext* context) {
    if (!context)
        return TTextCodec::standard();
    auto root = rtl::TContextQuery::queryAny<rtl::IConfiguration>(context);
    const std::string name = root ? root->get(TextCodecKey) : std::string();
    if (name.empty())
        return TTextCodec::standard();
    if (const TTextCodec* codec = TTextCodec::find(name))
        return *codec;
    throw EEncodingError("Unknown text codec \"" + name + "\" in " + TextCodecKey +
                         " (known: " + TTextCodec::knownNames() + ")");
}

QWidget* DialogParent() {
    Checked(nullptr);
    if (auto* window = qobject_cast<QWidget*>(application()))
        return window;
    return QApplication::activeWindow();
}

TmirvFormF::TmirvFormF(QWidget* parent) : QDialog(Checked(parent)) {
    setModal(true);
}

void TmirvFormF::refreshData() {
    codec_ = &TextCodecOf(context());
    setWindowRole(QString::fromStdString(moduleName()));
}

QValidator* TmirvFormF::codePageValidator(QObject* parent) const {
    return new TCodePageValidator(*this, parent);
}

void TmirvFormF::bindActions(QAbstractButton* ok, QAbstractButton* cancel) {
    if (auto* button = qobject_cast<QPushButton*>(ok))
        button->setDefault(true);
    connect(ok, &QAbstractButton::clicked, this, [this] { ActionOk(); });
    connect(cancel, &QAbstractButton::clicked, this, [this] { ActionCancel(); });
}

} // namespace frame
