// The widget side of the host's dialog base: frame::TmirvFormF is a modal
// QDialog that follows rtl::TmirvFormF's protocol. Enter (the default button)
// runs ActionOk, Esc and the window's close button run ActionCancel; the
// dialog shows and stores configuration texts through the installation's code
// page, named by the host configuration's "host.text_codec".
#pragma once

#include "frame/text_codec.h"

#include "rtl/form_base.h"

#include <QDialog>

#include <string>

class QAbstractButton;
class QValidator;

namespace frame {

// The key of the host configuration that names the code page of its texts.
inline constexpr const char* TextCodecKey = "host.text_codec";

// The code page named at "host.text_codec" in the context's configuration;
// Windows-1251 when there is no context, no configuration or no such key.
// Raises EEncodingError for a name it does not know.
const TTextCodec& TextCodecOf(rtl::IContext* context);

// Where the plug-in's dialogs belong: the host's application window when the
// application object is one, else the window the user works in (none when
// there is none, and the dialog is a window of its own). Raises
// std::runtime_error when the process has no widget application to show
// dialogs with.
QWidget* DialogParent();

class TmirvFormF : public QDialog, public rtl::TmirvFormF {
public:
    explicit TmirvFormF(QWidget* parent);

    // Every way of closing the dialog goes through the actions: QDialog's
    // default button and Enter call accept, Esc and the close button reject.
    void accept() override { ActionOk(); }
    void reject() override { ActionCancel(); }

    // The code page chosen when the dialog was last filled.
    const TTextCodec& codec() const { return *codec_; }
    QString decode(const std::string& bytes) const { return codec_->decode(bytes); }
    std::string encode(const QString& text) const { return codec_->encode(text); }
    // A validator for the dialog's text inputs: it refuses characters the
    // code page has no byte for, so what the user sees is what gets stored.
    QValidator* codePageValidator(QObject* parent) const;

protected:
    // Takes the code page from the context's configuration and names the
    // window after the module; dialogs run this first in their own refreshData.
    void refreshData() override;
    int execModal() override { return exec(); }
    void closeModal(int result) override { done(result); }

    // `ok` becomes the default button (Enter) and runs ActionOk; `cancel` runs
    // ActionCancel. Enter on a button that has the focus clicks that button.
    void bindActions(QAbstractButton* ok, QAbstractButton* cancel);

private:
    const TTextCodec* codec_ = &TTextCodec::standard();
};

} // namespace frame
