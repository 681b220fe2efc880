// pbxhost --edit: which registered configuration editor stands for a
// plug-in, and the answer tests give to its dialog on a machine without a
// display.
#pragma once

#include "plugin_loader.h"

#include "frame/edit_int.h"

#include "rtl/context.h"

#include <memory>
#include <optional>
#include <string>

namespace host {

// The editor for `name`: the registered editor whose configName is `name`,
// else the one registered by the running plug-in whose pluginName is `name`.
// Empty when there is none.
rtl::Ref<frame::ICfgEditor> FindEditor(rtl::IContext* context, const TPluginLoader& loader,
                                       const std::string& name);

// PBXHOST_TEST_DIALOG=save or =cancel, read only by the test build of
// pbxhost (tests/host/test_dialog_answer.cpp): the editor may run on the offscreen
// platform, and its dialog is answered as soon as it shows. Raises
// EUsageError for any other value.
enum class DialogAnswer { Save, Cancel };
std::optional<DialogAnswer> TestDialogAnswer();

// While it lives, answers every modal dialog that shows: Save runs the
// dialog's accept (its save action), Cancel its reject.
class DialogAutoAnswer {
public:
    explicit DialogAutoAnswer(DialogAnswer answer);
    ~DialogAutoAnswer();
    DialogAutoAnswer(const DialogAutoAnswer&) = delete;
    DialogAutoAnswer& operator=(const DialogAutoAnswer&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace host
