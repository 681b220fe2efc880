// Built only into the test build of pbxhost: the tests' automatic answer to
// the settings dialog, which also lets --edit run on the offscreen platform.
#include "host_settings.h"
#include "plugin_editing.h"

#include <cstdlib>

namespace host {

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

} // namespace host
