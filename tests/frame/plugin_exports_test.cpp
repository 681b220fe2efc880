// The five exports: identity, plug-in creation, and attaching to a host module
// of the same or of another framework instance.
#include "frame/pbxAdapter_int.h"
#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"

#include "rtl/host_module.h"
#include "rtl/log_sinks.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <regex>

namespace {

using rtl::LogLevel;
using rtl::Ref;

class TExportTestAdapter : public rtl::TPlugin<frame::IPBXAdapter, frame::IStartable> {
public:
    TExportTestAdapter() {
        setName("mod_exporttest");
        setDescription("PBX adapter for the export tests");
        setVersion(101);
    }
    void start() override { started_ = true; }
    void stop() override { started_ = false; }
    bool isStarted() override { return started_; }
    bool openLine(frame::IPBXData*, std::string& info) override { return info.clear(), true; }
    bool closeLine(frame::IPBXData*, std::string& info) override { return info.clear(), true; }
    bool setGuestName(frame::IPBXData*, std::string& info) override { return info.clear(), true; }

private:
    bool started_ = false;
};

} // namespace

Ref<rtl::IPlugin> frame::CreatePlugin() {
    return Ref<rtl::IPlugin>(new TExportTestAdapter);
}

namespace {

TEST(PluginExports, IdentityTextIsTheBracedUpperCasePluginGuid) {
    std::string text = "previous";
    pluginLibGUID(text);
    EXPECT_EQ(text, "{8AFC6F67-8092-49B1-B86F-F131FD9DC1E2}");
    EXPECT_TRUE(
        std::regex_match(text, std::regex(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\})")));
}

TEST(PluginExports, EveryCreateGivesAnIndependentObjectWithTheSameIdentity) {
    Ref<rtl::IPlugin> a, b;
    createPluginInstance(a);
    createPluginInstance(b);
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(rtl::SameObject(a.get(), b.get()));
    EXPECT_EQ(a->pluginName(), "mod_exporttest");
    EXPECT_EQ(b->pluginName(), a->pluginName());
    EXPECT_EQ(b->version(), 101);
    EXPECT_EQ(a->vendor(), "");
    EXPECT_EQ(a->implementor()->referenceCount(), 1u); // the caller holds the only reference

    auto startA = rtl::Query<frame::IStartable>(a);
    startA->start();
    EXPECT_TRUE(startA->isStarted());
    EXPECT_FALSE(rtl::Query<frame::IStartable>(b)->isStarted());
    // Adapters hand out their IPBXAdapter view.
    EXPECT_TRUE(rtl::Query<frame::IPBXAdapter>(a));
}

TEST(PluginExports, HostModuleDescribesThisFrameworkInstance) {
    Ref<rtl::IHostModule> module;
    create_host_module(module);
    ASSERT_TRUE(module);
    EXPECT_TRUE(
        rtl::SameObject(module->getObjectSample().get(), rtl::THostModule::sampleInstance().get()));
    auto gui = rtl::Query<rtl::IGUIHostModule>(module);
    ASSERT_TRUE(gui);
    EXPECT_EQ(gui->application(), QCoreApplication::instance());
    EXPECT_EQ(frame::application(), QCoreApplication::instance());
}

TEST(PluginExports, SharedFrameworkAttachChangesNothingAndLogsNothing) {
    rtl::LogCapture log;
    QObject otherApplication;
    Ref<rtl::IHostModule> host(new rtl::TGUIHostModule(&otherApplication));
    lib_module_attach(host.get());
    EXPECT_FALSE(rtl::TLogger::multilogFactory());
    EXPECT_EQ(frame::application(), QCoreApplication::instance());
    lib_module_detach(host.get());
    EXPECT_TRUE(log.records().empty()) << log.dump();
    EXPECT_EQ(frame::application(), QCoreApplication::instance());
}

// Another framework instance's logger: collects what reaches it.
class TForeignLog : public rtl::TLTMIfcObject<rtl::IMultilogFactory> {
public:
    LogLevel level() override { return LogLevel::Trace; }
    void write(LogLevel level, const std::string& source, const std::string& text) override {
        lines.push_back(std::string(rtl::LogLevelName(level)) + " [" + source + "] " + text);
    }
    std::vector<std::string> lines;
};
class TForeignSerial : public rtl::TLTMIfcObject<rtl::IMultiserialFactory> {};
class TForeignSample : public rtl::TLTMIfcObject<rtl::IImplemented> {};

std::string Int(const void* p) {
    return std::to_string(reinterpret_cast<intptr_t>(p));
}

TEST(PluginExports, ForeignFrameworkGetsFactoriesAndApplicationUntilDetached) {
    rtl::LogCapture local;
    Ref<TForeignLog> log(new TForeignLog);
    Ref<rtl::IMultiserialFactory> serial(new TForeignSerial);
    QObject hostApplication;
    Ref<rtl::IHostModule> host(
        new rtl::TGUIHostModule(&hostApplication, Ref<rtl::IImplemented>(new TForeignSample),
                                Ref<rtl::IMultilogFactory>(log.get()), serial));
    QObject* own = QCoreApplication::instance();

    lib_module_attach(host.get());
    EXPECT_EQ(rtl::TLogger::multilogFactory().get(), log.get());
    EXPECT_EQ(rtl::TSerialMgr::multiserialFactory(), serial);
    EXPECT_EQ(frame::application(), &hostApplication);

    lib_module_detach(host.get());
    EXPECT_FALSE(rtl::TLogger::multilogFactory());
    EXPECT_EQ(rtl::TSerialMgr::multiserialFactory(), rtl::TSerialMgr::ownFactory());
    EXPECT_EQ(frame::application(), own);

    // Every line went to the host's logger, none to this instance's sinks.
    EXPECT_EQ(log->lines,
              (std::vector<std::string>{
                  "TRACE [gui_lib_module] headless_lib_module.lib_module_attach()",
                  "TRACE [gui_lib_module] lib_module_attach: replace Forms.Application (" +
                      Int(own) + ") with " + Int(&hostApplication),
                  "TRACE [gui_lib_module] lib_module_detach() ...",
                  "TRACE [gui_lib_module] lib_module_detach: restore Forms.Application with " +
                      Int(own)}));
    EXPECT_TRUE(local.records().empty()) << local.dump();
}

TEST(PluginExports, ForeignHostWithoutGuiKeepsTheApplication) {
    Ref<TForeignLog> log(new TForeignLog);
    Ref<rtl::IHostModule> host(new rtl::THostModule(
        Ref<rtl::IImplemented>(new TForeignSample), Ref<rtl::IMultilogFactory>(log.get()),
        Ref<rtl::IMultiserialFactory>(new TForeignSerial)));
    lib_module_attach(host.get());
    EXPECT_EQ(frame::application(), QCoreApplication::instance());
    lib_module_detach(host.get());
    EXPECT_EQ(frame::application(), QCoreApplication::instance());
    EXPECT_EQ(log->lines.size(), 3u); // no "replace" line
    EXPECT_FALSE(rtl::TLogger::multilogFactory());
}

TEST(PBXData, PrintsLineSpaceName) {
    const std::vector<std::pair<std::pair<std::string, std::string>, std::string>> cases = {
        {{"201", "Ivanov Ivan"}, "201 Ivanov Ivan"},
        {{"201", ""}, "201 "},
        {{"", ""}, " "},
        {{"1%s", "100% \xC8"}, "1%s 100% \xC8"},
    };
    for (const auto& [input, text] : cases) {
        Ref<frame::IPBXData> data = frame::TPBXData::Create(input.first, input.second);
        EXPECT_EQ(data->toString(), text);
        EXPECT_EQ(data->line(), input.first);
        EXPECT_EQ(data->name(), input.second);
    }
}

} // namespace
