// The modem adapter's editor: its names, the defaults written before the dialog
// opens, and the keys traced after the user confirmed.
#include "modem_adapter_editor.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/log_sinks.h"

#include "test_support/modal_dialog.h"

#include <QDialog>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using rtl::LogLevel;
using rtl::Ref;
using tellum::TModemAdapterEditor;
using Entries = std::vector<std::pair<std::string, std::string>>;

Entries EntriesOf(rtl::IConfiguration& section) {
    Entries entries;
    for (const auto& e : section.tree()->descendants())
        entries.emplace_back(e->path(), e->value());
    return entries;
}

// The editor with the user's answer in place of the dialog; it keeps what the
// dialog would have shown.
class TAnsweredEditor : public TModemAdapterEditor {
public:
    explicit TAnsweredEditor(bool confirm) : confirm_(confirm) {}
    Entries shown;

protected:
    bool showDialog(rtl::IContext*, rtl::IConfiguration& section) override {
        shown = EntriesOf(section);
        return confirm_;
    }

private:
    bool confirm_;
};

class ModemEditorTest : public testing::Test {
protected:
    ModemEditorTest() { context->registerObject(root.get()); }

    Ref<rtl::TConfiguration> root{new rtl::TConfiguration};
    Ref<rtl::TContext> context{new rtl::TContext};
};

const Entries kDefaults = {
    {"lock_command_line", ""},
    {"unlock_command_line", ""},
    {"read_time_out", "1000"},
    {"modem_config_str_1", ""},
    {"modem_config_str_2", ""},
    {"modem_config_str_3", ""},
    {"rs", ""},
    {"rs.device", "COM1"},
    {"rs.rate", "9600"},
    {"rs.data", "8"},
    {"rs.stop", "1"},
    {"rs.parity", "none"},
    {"rs.flow", "none"},
};

TEST_F(ModemEditorTest, AnswersItsNames) {
    auto editor = rtl::MakeRef<TModemAdapterEditor>();
    EXPECT_EQ(editor->editorName(), "TModemAdapterEditor");
    EXPECT_EQ(editor->caption(), "Modem Adapter");
    EXPECT_EQ(editor->description(), "PBX adapter for modem communication");
    EXPECT_EQ(editor->hint(), "PBX adapter for modem communication");
    EXPECT_EQ(editor->configName(), "mod_tellum");
}

TEST_F(ModemEditorTest, CancelledEditLeavesTheDefaultsAndTracesNothing) {
    auto editor = rtl::MakeRef<TAnsweredEditor>(false);
    rtl::LogCapture log;
    EXPECT_FALSE(editor->edit(context.get()));
    EXPECT_EQ(editor->shown, kDefaults); // written before the dialog opened
    EXPECT_EQ(EntriesOf(*root->sub("mod_tellum")), kDefaults);
    EXPECT_TRUE(log.texts(LogLevel::Trace).empty()) << log.dump();

    // The frame's own dialog, cancelled by the user.
    auto plain = rtl::MakeRef<TModemAdapterEditor>();
    std::string caption;
    EXPECT_FALSE(test_support::WithDialog([&] { return plain->edit(context.get()); },
                                          [&](QDialog& dialog) {
                                              caption = dialog.windowTitle().toStdString();
                                              dialog.reject();
                                          }));
    EXPECT_EQ(caption, "Настройки на модул");
}

TEST_F(ModemEditorTest, PresentValuesStayEvenWhenEmpty) {
    root->set("mod_tellum.read_time_out", "");
    root->set("mod_tellum.rs.device", "/dev/pts/9");
    root->set("mod_tellum.unlock_command_line", "ATX\\n");
    auto editor = rtl::MakeRef<TAnsweredEditor>(false);
    editor->edit(context.get());
    auto section = root->sub("mod_tellum");
    EXPECT_EQ(section->get("read_time_out", "none"), "");
    EXPECT_EQ(section->get("rs.device"), "/dev/pts/9");
    EXPECT_EQ(section->get("unlock_command_line"), "ATX\\n");
    EXPECT_EQ(section->get("lock_command_line", "none"), "");
    EXPECT_EQ(section->get("rs.rate"), "9600");
}

TEST_F(ModemEditorTest, ConfirmedEditTracesEveryKeyInTreeOrder) {
    root->set("mod_tellum.unlock_command_line", "ATX\\n\\p");
    auto editor = rtl::MakeRef<TAnsweredEditor>(true);
    rtl::LogCapture log;
    EXPECT_TRUE(editor->edit(context.get()));
    // (The source is the class of the object, here the test's own.)
    EXPECT_EQ(log.texts(LogLevel::Trace, "TAnsweredEditor"),
              (std::vector<std::string>{
                  "Config key unlock_command_line = ATX\\n\\p",
                  "Config key lock_command_line = ",
                  "Config key read_time_out = 1000",
                  "Config key modem_config_str_1 = ",
                  "Config key modem_config_str_2 = ",
                  "Config key modem_config_str_3 = ",
                  "Config key rs = ",
                  "Config key rs.device = COM1",
                  "Config key rs.rate = 9600",
                  "Config key rs.data = 8",
                  "Config key rs.stop = 1",
                  "Config key rs.parity = none",
                  "Config key rs.flow = none",
              }));
}

TEST_F(ModemEditorTest, WithoutAConfigurationNothingIsShown) {
    auto editor = rtl::MakeRef<TAnsweredEditor>(true);
    Ref<rtl::TContext> empty(new rtl::TContext);
    EXPECT_FALSE(editor->edit(empty.get()));
    EXPECT_TRUE(editor->shown.empty());
}

} // namespace
