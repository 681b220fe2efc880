// The plug-in object (start and stop with its event module and editor) and
// the configuration editor (defaults, the edit flow around the dialog, the
// configuration listing after a confirmation).
#include "manager_fixture.h"

#include "mod_quorvin_impl.h"
#include "pbx_manager_editor.h"

#include "frame/edit_int.h"

#include "test_support/modal_dialog.h"

#include <QDialog>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace manager_test {
namespace {

using quorvin::TPBXManager;
using quorvin::TPBXManagerEditor;
using rtl::Ref;

std::vector<Ref<frame::ICfgEditor>> Editors(rtl::IContext* context) {
    return rtl::TContextQuery::all<frame::ICfgEditor>(context);
}

TEST(PBXManagerPlugin, Identity) {
    Ref<TPBXManager> plugin(new TPBXManager);
    EXPECT_EQ(plugin->pluginName(), "mod_quorvin");
    EXPECT_EQ(plugin->description(), "PBX manager");
    EXPECT_EQ(plugin->version(), 101);
    EXPECT_EQ(plugin->vendor(), "");
    EXPECT_TRUE(rtl::Query<frame::IStartable>(plugin));
    EXPECT_TRUE(rtl::Query<frame::IContextAware>(plugin));
    EXPECT_FALSE(rtl::Query<frame::IPBXAdapter>(plugin));
    EXPECT_FALSE(plugin->isStarted());
}

TEST_F(ManagerTest, StartedPluginRunsItsModuleAndOffersItsEditor) {
    Ref<TPBXManager> plugin(new TPBXManager);
    plugin->setContext(context_.get());

    plugin->start();
    ASSERT_TRUE(plugin->isStarted());
    ASSERT_NE(plugin->eventModule(), nullptr);
    EXPECT_TRUE(log_.contains(LogLevel::Debug, kModuleSource, "Successful connectign to DB"));
    auto editors = Editors(context_.get());
    ASSERT_EQ(editors.size(), 1u);
    EXPECT_EQ(editors[0]->editorName(), "TPBXManagerEditor");
    EXPECT_EQ(editors[0]->configName(), "mod_quorvin");
    const Ref<rtl::IConfiguration> section = plugin->getConfiguration();
    EXPECT_EQ(section->get("db.name"), scratch_.name());

    // The module it runs is the one the cycles go through.
    queue(Action{.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});
    plugin->eventModule()->executeCycle();
    EXPECT_EQ(adapter_->calls.size(), 2u);

    plugin->stop();
    EXPECT_FALSE(plugin->isStarted());
    EXPECT_TRUE(Editors(context_.get()).empty());
    EXPECT_EQ(plugin->getConfiguration().get(), section.get()); // kept across stop
    EXPECT_EQ(log_.texts(LogLevel::Debug, "TPBXManager"),
              (std::vector<std::string>{"--- Startup begin ---", "--- Startup end ---",
                                        "--- Shutdown begin ---", "--- Shutdown end ---"}));
    EXPECT_TRUE(log_.contains(LogLevel::Debug, kModuleSource, "Disconnect from DB"));
    EXPECT_EQ(errors(), std::vector<std::string>()) << log_.dump();
}

TEST(PBXManagerPlugin, StartWithoutAConfigurationRaises) {
    Ref<rtl::TContext> context(new rtl::TContext);
    Ref<TPBXManager> plugin(new TPBXManager);
    plugin->setContext(context.get());
    EXPECT_THROW(plugin->start(), rtl::EContextError);
    EXPECT_FALSE(plugin->isStarted());
    EXPECT_TRUE(Editors(context.get()).empty());
}

// The editor with its dialog replaced: it records what the dialog was shown
// and runs `dialog` in its place.
class TScriptedEditor : public TPBXManagerEditor {
public:
    std::function<bool(rtl::IConfiguration&)> dialog;
    int shown = 0;

protected:
    bool showEditorDialog(rtl::IContext*, rtl::IConfiguration& section) override {
        ++shown;
        return dialog(section);
    }
};

// "name = value" of every entry below the section, in order.
std::vector<std::string> Entries(rtl::IConfiguration& section) {
    std::vector<std::string> entries;
    for (const auto& entry : section.tree()->descendants())
        entries.push_back(entry->path() + " = " + entry->value());
    return entries;
}

TEST(PBXManagerEditor, NamesItselfAfterTheManager) {
    Ref<TPBXManagerEditor> editor(new TPBXManagerEditor);
    EXPECT_EQ(editor->editorName(), "TPBXManagerEditor");
    EXPECT_EQ(editor->caption(), "PBX manager");
    EXPECT_EQ(editor->description(), "PBX manager");
    EXPECT_EQ(editor->hint(), "PBX manager");
    EXPECT_EQ(editor->configName(), "mod_quorvin");
}

TEST(PBXManagerEditor, DefaultsFillOnlyMissingKeysInTheirOrder) {
    Ref<TPBXManagerEditor> editor(new TPBXManagerEditor);
    Ref<rtl::TConfiguration> config(new rtl::TConfiguration);
    Ref<rtl::IConfiguration> empty = config->sub("fresh");
    editor->setDefaults(*empty);
    EXPECT_EQ(Entries(*empty), (std::vector<std::string>{
                                   "db = ",
                                   "db.name = database",
                                   "db.dialect = 1",
                                   "db.user_name = SYSDBA",
                                   "db.password = tamarind",
                                   "db.sql_role_name = ",
                                   "timer_interval = 5000",
                               }));

    Ref<rtl::IConfiguration> used = config->sub("used");
    used->set("timer_interval", "0");
    used->set("db.password", ""); // present though empty: kept
    used->set("pbx_adapter", "mod_tellum");
    editor->setDefaults(*used);
    EXPECT_EQ(used->get("timer_interval"), "0");
    EXPECT_EQ(used->get("db.password"), "");
    EXPECT_EQ(used->get("pbx_adapter"), "mod_tellum");
    EXPECT_EQ(used->get("db.user_name"), "SYSDBA");
}

class EditorEdit : public testing::Test {
protected:
    EditorEdit() {
        context_->registerObject(config_.get());
        editor_->setContext(context_.get());
    }
    std::vector<std::string> traceLines() const {
        return log_.texts(LogLevel::Trace, "TScriptedEditor");
    }

    Ref<rtl::TContext> context_{new rtl::TContext};
    Ref<rtl::TConfiguration> config_{new rtl::TConfiguration};
    Ref<TScriptedEditor> editor_{new TScriptedEditor};
    rtl::LogCapture log_;
};

TEST_F(EditorEdit, ConfirmedDialogIsFollowedByTheListingWithThePasswordMasked) {
    std::string shownInterval;
    editor_->dialog = [&](rtl::IConfiguration& section) {
        shownInterval = section.get("timer_interval"); // the defaults are there already
        section.set("pbx_adapter", "mod_tellum");
        return true;
    };
    EXPECT_TRUE(editor_->edit(context_.get()));
    EXPECT_EQ(editor_->shown, 1);
    EXPECT_EQ(shownInterval, "5000");
    EXPECT_EQ(traceLines(), (std::vector<std::string>{
                                "Config key db = ",
                                "Config key name = database",
                                "Config key dialect = 1",
                                "Config key user_name = SYSDBA",
                                "Config key password = ********",
                                "Config key sql_role_name = ",
                                "Config key timer_interval = 5000",
                                "Config key pbx_adapter = mod_tellum",
                            }))
        << log_.dump();
    EXPECT_FALSE(log_.containsText("tamarind")) << log_.dump();
}

TEST_F(EditorEdit, CancelledDialogKeepsTheDefaultsAndListsNothing) {
    editor_->dialog = [](rtl::IConfiguration&) { return false; };
    EXPECT_FALSE(editor_->edit(context_.get()));
    EXPECT_EQ(editor_->shown, 1);
    EXPECT_EQ(config_->get("mod_quorvin.db.user_name"), "SYSDBA");
    EXPECT_TRUE(traceLines().empty()) << log_.dump();
}

TEST_F(EditorEdit, WithoutAConfigurationNothingIsShown) {
    Ref<rtl::TContext> bare(new rtl::TContext);
    Ref<TScriptedEditor> editor(new TScriptedEditor);
    editor->setContext(bare.get());
    EXPECT_FALSE(editor->edit(bare.get()));
    EXPECT_EQ(editor->shown, 0);
}

// Through the real dialog, which the user cancels: the defaults were written
// before it showed them.
TEST(PBXManagerEditor, CancelledDialogAnswersFalseAfterWritingTheDefaults) {
    Ref<rtl::TContext> context(new rtl::TContext);
    Ref<rtl::TConfiguration> config(new rtl::TConfiguration);
    context->registerObject(config.get());
    Ref<TPBXManagerEditor> editor(new TPBXManagerEditor);
    rtl::LogCapture log;
    std::string caption;
    const bool saved = test_support::WithDialog([&] { return editor->edit(context.get()); },
                                                [&](QDialog& dialog) {
                                                    caption = dialog.windowTitle().toStdString();
                                                    dialog.reject();
                                                });
    EXPECT_FALSE(saved);
    EXPECT_EQ(caption, "PBX manager configuration");
    EXPECT_EQ(config->get("mod_quorvin.timer_interval"), "5000");
    EXPECT_FALSE(log.containsText("Config key")) << log.dump();
}

} // namespace
} // namespace manager_test
