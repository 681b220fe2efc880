// The plug-in protocol driven in-process on the real test plug-ins.
#include "plugin_loader.h"

#include "frame/edit_int.h"
#include "frame/pbxAdapter_int.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/host_module.h"
#include "rtl/log_sinks.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

using rtl::LogLevel;

const std::string PluginDir = TEST_PLUGIN_DIR;
const std::string GoodPlugin = PluginDir + "/mod_hosttest.so";
const std::string OtherPlugin = PluginDir + "/mod_hosttest2.so";

class PluginLoaderTest : public testing::Test {
protected:
    rtl::LogCapture log;
    rtl::Ref<rtl::TConfiguration> config{new rtl::TConfiguration};
    rtl::Ref<rtl::TContext> context{new rtl::TContext};
    rtl::Ref<rtl::IHostModule> module{new rtl::TGUIHostModule(QCoreApplication::instance())};

    PluginLoaderTest() { context->registerObject(config.get()); }

    std::vector<std::string> editorSections() {
        std::vector<std::string> names;
        for (const auto& editor : rtl::TContextQuery::all<frame::ICfgEditor>(context.get()))
            names.push_back(editor->configName());
        return names;
    }
};

TEST_F(PluginLoaderTest, RegisteredAdaptersAreFoundByNameUntilUnloaded) {
    {
        host::TPluginLoader loader(context, module);
        ASSERT_TRUE(loader.load(GoodPlugin)) << log.dump();
        ASSERT_TRUE(loader.load(OtherPlugin)) << log.dump();
        EXPECT_EQ(loader.pluginNames(),
                  (std::vector<std::string>{"mod_hosttest", "mod_hosttest2"}));
        EXPECT_EQ(editorSections(), (std::vector<std::string>{"mod_hosttest", "mod_hosttest2"}));

        auto adapter =
            rtl::TContextQuery::queryName<frame::IPBXAdapter>(context.get(), "mod_hosttest2");
        ASSERT_TRUE(adapter);
        std::string info = "old text";
        EXPECT_TRUE(adapter->openLine(frame::TPBXData::Create("201", "Ivanov").get(), info));
        EXPECT_EQ(info, "done 201 Ivanov");
        EXPECT_FALSE(rtl::TContextQuery::queryName<frame::IPBXAdapter>(context.get(), "mod_other"));
        adapter.reset();

        loader.unloadAll();
        EXPECT_TRUE(loader.pluginNames().empty());
    }
    // Only the configuration is left; the plug-ins stopped last-loaded first.
    EXPECT_EQ(context->size(), 1u);
    const auto lines = log.texts(LogLevel::Debug, "TPluginLoader");
    const auto first = std::find(lines.begin(), lines.end(), "Stopping plug-in mod_hosttest2");
    const auto second = std::find(lines.begin(), lines.end(), "Stopping plug-in mod_hosttest");
    EXPECT_LT(first, second) << log.dump();
    EXPECT_NE(second, lines.end()) << log.dump();
    // Releasing the plug-in dropped the last reference before its library went.
    const auto records = log.records();
    std::vector<std::string> sequence;
    for (const auto& r : records) {
        if (r.text == "Plug-in object destroyed" || r.text.find(" unloaded") != std::string::npos)
            sequence.push_back(r.text);
    }
    EXPECT_EQ(sequence, (std::vector<std::string>{
                            "Plug-in object destroyed", "Plug-in mod_hosttest2 unloaded",
                            "Plug-in object destroyed", "Plug-in mod_hosttest unloaded"}));
}

struct BadCase {
    const char* name;
    std::string file;
    std::string line; // the one error line expected
    bool failStart = false;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class PluginLoaderFailure : public PluginLoaderTest, public testing::WithParamInterface<BadCase> {};

TEST_P(PluginLoaderFailure, IsOneErrorLineAndLeavesTheOthersRunning) {
    const BadCase& c = GetParam();
    if (c.failStart)
        config->set("mod_hosttest.fail_start", "1");
    host::TPluginLoader loader(context, module);
    ASSERT_TRUE(loader.load(OtherPlugin));

    EXPECT_FALSE(loader.load(c.file));

    const auto errors = log.texts(LogLevel::Error);
    ASSERT_EQ(errors.size(), 1u) << log.dump();
    EXPECT_EQ(errors[0].substr(0, c.line.size()), c.line) << errors[0];
    // The failed plug-in left nothing behind; the running one is untouched.
    EXPECT_EQ(loader.pluginNames(), std::vector<std::string>{"mod_hosttest2"});
    EXPECT_EQ(editorSections(), std::vector<std::string>{"mod_hosttest2"});
    EXPECT_EQ(context->size(), 3u); // configuration, plug-in, its editor
    EXPECT_TRUE(loader.load(GoodPlugin) || c.failStart) << log.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PluginLoaderFailure,
    testing::Values(
        BadCase{"MissingFile", PluginDir + "/mod_absent.so",
                "Plug-in " + PluginDir + "/mod_absent.so not loaded: " + PluginDir +
                    "/mod_absent.so: cannot open shared object file"},
        BadCase{"NoExports", PluginDir + "/mod_noexports.so",
                "Plug-in " + PluginDir +
                    "/mod_noexports.so not loaded: export pluginLibGUID is missing"},
        BadCase{
            "WrongIdentity", PluginDir + "/mod_wrongid.so",
            "Plug-in " + PluginDir +
                "/mod_wrongid.so not loaded: identity \"{00000000-0000-0000-0000-000000000001}\" "
                "is not the plug-in identity {8AFC6F67-8092-49B1-B86F-F131FD9DC1E2}"},
        BadCase{"SameNameTwice", OtherPlugin,
                "Plug-in " + OtherPlugin +
                    " not loaded: a plug-in named mod_hosttest2 is already running"},
        BadCase{"StartRaises", GoodPlugin,
                "Plug-in " + GoodPlugin + " not started: start refused by configuration", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
