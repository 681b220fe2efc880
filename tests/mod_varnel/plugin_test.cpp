// The plug-in as the host sees it: mod_varnel.so loaded by file, its objects
// started and stopped in a context, line operations reaching the link library
// that the plug-in loads by the system's search order; and its editor.
#include "adapter_fixture.h"
#include "varnel_editor.h"

#include "frame/edit_int.h"
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"
#include "rtl/context.h"

#include "test_support/modal_dialog.h"

#include <QDialog>

#include <gtest/gtest.h>

namespace {

using rtl::Query;
using rtl::Ref;

class PluginTest : public testing::Test {
protected:
    PluginTest() : library(MOD_VARNEL_PATH) {
        simulator.listen();
        context->registerObject(config.get());
    }
    ~PluginTest() override {
        for (auto& plugin : plugins)
            if (auto startable = Query<frame::IStartable>(plugin);
                startable && startable->isStarted())
                startable->stop();
        plugins.clear();
        platform::PumpMessages();
    }

    Ref<frame::IPBXAdapter> create() {
        Ref<rtl::IPlugin> plugin;
        library.function<CreatePluginInstanceFn>("createPluginInstance")(plugin);
        plugins.push_back(plugin);
        return Query<frame::IPBXAdapter>(plugin);
    }
    void configureDriver() {
        config->set("mod_varnel.varnel.driver_ip", "127.0.0.1");
        config->set("mod_varnel.varnel.driver_port", simulator.portText());
        config->set("mod_varnel.varnel.log_path", dir.file("queues"));
    }
    std::vector<Ref<frame::ICfgEditor>> editors() {
        return rtl::TContextQuery::all<frame::ICfgEditor>(context.get());
    }

    test_support::TempDir dir;
    hlsim::Simulator simulator;
    platform::DynamicLibrary library;
    Ref<rtl::TContext> context = rtl::MakeRef<rtl::TContext>();
    Ref<rtl::TConfiguration> config = rtl::MakeRef<rtl::TConfiguration>();
    std::vector<Ref<rtl::IPlugin>> plugins;
};

TEST_F(PluginTest, EachInstanceIsANewAdapterWithTheAdaptersIdentity) {
    std::string guid;
    library.function<PluginLibGuidFn>("pluginLibGUID")(guid);
    EXPECT_EQ(guid, "{8AFC6F67-8092-49B1-B86F-F131FD9DC1E2}");

    Ref<frame::IPBXAdapter> first = create();
    Ref<frame::IPBXAdapter> second = create();
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(rtl::SameObject(first.get(), second.get()));
    EXPECT_EQ(first->pluginName(), "mod_varnel");
    EXPECT_EQ(first->description(), "PBX adapter for Orvane HotelLinkDriver(Varnel.dll)");
    EXPECT_EQ(first->version(), 101);
    EXPECT_EQ(first->vendor(), "");
    EXPECT_TRUE(Query<frame::IStartable>(first));
    EXPECT_TRUE(Query<frame::IContextAware>(first));
}

TEST_F(PluginTest, StartedItRegistersItsEditorAndPassesLineOperationsOn) {
    configureDriver();
    const std::string before = config->toText();
    Ref<frame::IPBXAdapter> adapter = create();
    auto startable = Query<frame::IStartable>(adapter);
    Query<frame::IContextAware>(adapter)->setContext(context.get());
    EXPECT_FALSE(startable->isStarted());

    startable->start();
    EXPECT_TRUE(startable->isStarted());
    EXPECT_EQ(config->toText(), before); // starting writes no defaults
    ASSERT_EQ(editors().size(), 1u);
    EXPECT_EQ(editors()[0]->editorName(), "THLDriverEditor");

    // libVarnel.so comes from the system's search order, seen from the plug-in.
    Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info = "old";
    EXPECT_TRUE(adapter->openLine(data.get(), info)) << info;
    EXPECT_EQ(info, "");
    ASSERT_EQ(simulator.requests().size(), 1u);
    EXPECT_EQ(simulator.requests()[0].type, "A");

    startable->stop();
    EXPECT_FALSE(startable->isStarted());
    EXPECT_TRUE(editors().empty());
    EXPECT_TRUE(adapter_test::WaitFor([&] { return !simulator.connected(); }));
    EXPECT_FALSE(adapter->openLine(data.get(), info));
    EXPECT_EQ(info, "Adapter mod_varnel is not started");
}

TEST_F(PluginTest, TwoStartedInstancesWorkIndependently) {
    configureDriver();
    Ref<frame::IPBXAdapter> first = create();
    Ref<frame::IPBXAdapter> second = create();
    for (auto& adapter : {first, second}) {
        Query<frame::IContextAware>(adapter)->setContext(context.get());
        Query<frame::IStartable>(adapter)->start();
    }
    EXPECT_EQ(editors().size(), 2u);
    Query<frame::IStartable>(first)->stop();
    EXPECT_EQ(editors().size(), 1u);
    Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info;
    EXPECT_TRUE(second->setGuestName(data.get(), info)) << info;
}

TEST_F(PluginTest, StartWithoutConfigurationFailsAfterRegisteringTheEditor) {
    Ref<rtl::TContext> bare = rtl::MakeRef<rtl::TContext>();
    Ref<frame::IPBXAdapter> adapter = create();
    Query<frame::IContextAware>(adapter)->setContext(bare.get());
    EXPECT_THROW(Query<frame::IStartable>(adapter)->start(), rtl::EContextError);
    EXPECT_EQ(rtl::TContextQuery::all<frame::ICfgEditor>(bare.get()).size(), 1u);
    Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info;
    EXPECT_FALSE(adapter->openLine(data.get(), info));
    EXPECT_EQ(info, "Adapter mod_varnel is not started");
    Query<frame::IStartable>(adapter)->stop();
    EXPECT_TRUE(rtl::TContextQuery::all<frame::ICfgEditor>(bare.get()).empty());
}

// ---------------------------------------------------------------------- editor

const std::vector<std::pair<std::string, std::string>> Defaults = {
    {"varnel.path", ""},
    {"varnel.driver_ip", "localhost"},
    {"varnel.driver_port", "2561"},
    {"varnel.log_path", ""},
    {"check_in.def_password", "4827"},
    {"check_in.def_language", "1"},
    {"out_tickect_scan.cache_file_name", "cach_file.dat"},
    {"out_tickect_scan.spool_file_name", "spool.dat"},
    {"timer_interval", "0"},
    {"db.name", "<database>"},
    {"db.dialect", "1"},
    {"db.user_name", "<user_name>"},
    {"db.password", "<passcode>"},
    {"db.sql_role_name", ""},
};

// Every setting of the section with its value, in tree order.
std::vector<std::pair<std::string, std::string>> Settings(rtl::IConfiguration& section) {
    std::vector<std::pair<std::string, std::string>> settings;
    for (const auto& entry : section.tree()->descendants())
        if (entry->children().empty())
            settings.emplace_back(entry->path(), entry->value());
    return settings;
}

TEST(HLDriverEditor, AnswersItsNames) {
    Ref<mod_varnel::THLDriverEditor> editor = rtl::MakeRef<mod_varnel::THLDriverEditor>();
    EXPECT_EQ(editor->editorName(), "THLDriverEditor");
    EXPECT_EQ(editor->caption(), "Varnel (Orvane)");
    EXPECT_EQ(editor->description(), "PBX adapter for Orvane HotelLinkDriver(Varnel.dll)");
    EXPECT_EQ(editor->hint(), editor->description());
    EXPECT_EQ(editor->configName(), "mod_varnel");
}

TEST(HLDriverEditor, DefaultsFillOnlyMissingSettingsInTheirOrder) {
    Ref<rtl::TConfiguration> config = rtl::MakeRef<rtl::TConfiguration>();
    Ref<rtl::IConfiguration> section = config->sub("mod_varnel");
    mod_varnel::THLDriverEditor editor;
    editor.setDefaults(*section);
    EXPECT_EQ(Settings(*section), Defaults);
    const std::string once = config->toText();
    editor.setDefaults(*section);
    EXPECT_EQ(config->toText(), once);

    Ref<rtl::TConfiguration> other = rtl::MakeRef<rtl::TConfiguration>();
    other->set("mod_varnel.timer_interval", "5000");
    other->set("mod_varnel.db.password", ""); // present though empty
    editor.setDefaults(*other->sub("mod_varnel"));
    EXPECT_EQ(other->get("mod_varnel.timer_interval"), "5000");
    EXPECT_EQ(other->get("mod_varnel.db.password"), "");
    EXPECT_EQ(other->get("mod_varnel.db.user_name"), "<user_name>");
}

// The editor with its dialog replaced by a scripted answer.
class TAnsweringEditor : public mod_varnel::THLDriverEditor {
public:
    bool answer = true;
    std::string shownSection;

protected:
    bool showDialog(rtl::IContext*, rtl::IConfiguration& section) override {
        shownSection = section.tree()->name();
        return answer;
    }
};

TEST(HLDriverEditor, EditWritesDefaultsThenAsksTheDialog) {
    Ref<rtl::TContext> context = rtl::MakeRef<rtl::TContext>();
    Ref<TAnsweringEditor> editor = rtl::MakeRef<TAnsweringEditor>();
    EXPECT_FALSE(editor->edit(context.get())); // no configuration anywhere
    EXPECT_EQ(editor->shownSection, "");

    Ref<rtl::TConfiguration> config = rtl::MakeRef<rtl::TConfiguration>();
    context->registerObject(config.get());
    EXPECT_TRUE(editor->edit(context.get()));
    EXPECT_EQ(editor->shownSection, "mod_varnel");
    EXPECT_EQ(Settings(*config->sub("mod_varnel")), Defaults);
    editor->answer = false;
    EXPECT_FALSE(editor->edit(context.get()));

    // Through the frame's common dialog, which the user cancels.
    Ref<mod_varnel::THLDriverEditor> plain = rtl::MakeRef<mod_varnel::THLDriverEditor>();
    Ref<rtl::TConfiguration> fresh = rtl::MakeRef<rtl::TConfiguration>();
    ASSERT_TRUE(plain->accepts(fresh.get()));
    std::string caption;
    EXPECT_FALSE(test_support::WithDialog([&] { return plain->edit(context.get()); },
                                          [&](QDialog& dialog) {
                                              caption = dialog.windowTitle().toStdString();
                                              dialog.reject();
                                          }));
    EXPECT_EQ(caption, "Настройки на модул");
    EXPECT_EQ(Settings(*fresh->sub("mod_varnel")), Defaults);
}

} // namespace
