// mod_tellum.so as the host runs it: loaded through its exports by the host's
// plug-in loader in this process, and by pbxhost as a child process where
// another plug-in drives it through IPBXAdapter against the simulated modem.
#include "plugin_loader.h"
#include "simulated_modem.h"

#include "frame/edit_int.h"
#include "frame/pbxAdapter_int.h"

#include "platform/event_loop.h"
#include "platform/timer.h"

#include "rtl/host_module.h"
#include "rtl/log_sinks.h"

#include "test_support/temp_dir.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

using rtl::LogLevel;
using rtl::Ref;
using Lines = std::vector<std::string>;

TEST(ModemPlugin, LoadedThroughItsExportsIsFoundByNameAndDrivesTheModem) {
    SimulatedModem modem;
    modem.section->set("unlock_command_line", "ATX\\n");
    modem.section->set("lock_command_line", "ATY\\n");
    rtl::LogCapture log(LogLevel::Debug);
    Ref<rtl::IHostModule> hostModule(new rtl::TGUIHostModule(QCoreApplication::instance()));
    host::TPluginLoader loader(modem.context, hostModule);
    ASSERT_TRUE(loader.load(MOD_TELLUM_PATH)) << log.dump();
    {
        auto adapter =
            rtl::TContextQuery::queryName<frame::IPBXAdapter>(modem.context.get(), "mod_tellum");
        ASSERT_TRUE(adapter);
        EXPECT_EQ(adapter->description(), "PBX adapter for modem communication");
        EXPECT_EQ(adapter->version(), 101);
        const auto editors = rtl::TContextQuery::all<frame::ICfgEditor>(modem.context.get());
        ASSERT_EQ(editors.size(), 1u);
        EXPECT_EQ(editors[0]->configName(), "mod_tellum");

        std::string info = "stale";
        EXPECT_TRUE(adapter->openLine(frame::TPBXData::Create("204", "Smith").get(), info));
        EXPECT_EQ(info, "");
        EXPECT_TRUE(adapter->closeLine(frame::TPBXData::Create("204", "").get(), info));
        ASSERT_TRUE(modem.sim.waitForLines(6, std::chrono::seconds(20)));
        EXPECT_EQ(modem.sim.commandLines(), (Lines{"AT", "ATX204", "ATH", "AT", "ATY204", "ATH"}));
    }
    loader.unloadAll();
    EXPECT_TRUE(rtl::TContextQuery::all<frame::ICfgEditor>(modem.context.get()).empty());
    EXPECT_TRUE(log.contains(LogLevel::Debug, "TModemAdapter", "--- End close line ---"))
        << log.dump();
}

// pbxhost on a configuration of its own, judged by its log file.
class HostRun {
public:
    HostRun(const test_support::TempDir& dir, const std::string& configText)
        : configFile_(dir.file("pbxhost.conf")), logFile_(dir.file("pbxhost.log")) {
        test_support::WriteFile(configFile_, configText);
    }
    ~HostRun() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    bool start() {
        process_.start(PBXHOST_PATH, {"--config", QString::fromStdString(configFile_), "--log-file",
                                      QString::fromStdString(logFile_), "--log-level", "debug"});
        return process_.waitForStarted(20000);
    }

    std::string log() const { return test_support::ReadFile(logFile_); }

    bool waitForLog(const std::string& text) {
        // A growing file wakes no event loop: a short timer makes the wait look again.
        platform::Timer poll([] {});
        poll.setInterval(20);
        poll.start();
        platform::WaitUntil(
            [&] {
                return log().find(text) != std::string::npos ||
                       process_.state() == QProcess::NotRunning;
            },
            30000);
        return log().find(text) != std::string::npos;
    }

    bool stop() {
        ::kill(pid_t(process_.processId()), SIGTERM);
        return platform::WaitUntil([&] { return process_.state() == QProcess::NotRunning; },
                                   30000) &&
               process_.exitCode() == 0;
    }

private:
    std::string configFile_;
    std::string logFile_;
    QProcess process_;
};

TEST(ModemPlugin, PbxhostRunsTheAdapterForAnotherPlugin) {
    SimulatedModem modem;
    test_support::TempDir dir;
    HostRun host(dir, "[host]\n"
                      "plugins.modem = mod_tellum\n"
                      "plugins.caller = " CALLER_PLUGIN_PATH "\n"
                      "\n"
                      "[mod_tellum]\n"
                      "unlock_command_line = ATX\\n\\p\n"
                      "lock_command_line = ATY\\n\n"
                      "modem_config_str_1 = ATE1\n"
                      "rs.device = " +
                          modem.path() +
                          "\n"
                          "\n"
                          "[mod_tellumcaller]\n"
                          "adapter = mod_tellum\n"
                          "line = 204\n");
    ASSERT_TRUE(host.start());
    ASSERT_TRUE(host.waitForLog("closeLine 204 = ")) << host.log();
    ASSERT_TRUE(host.stop()) << host.log();

    EXPECT_EQ(modem.sim.commandLines(),
              (Lines{"AT", "ATE1", "ATX204", "ATH", "AT", "ATE1", "ATY204", "ATH"}));
    const std::string log = host.log();
    const Lines inOrder = {
        "DEBUG [TModemAdapter] --- Begin open line ---\n",
        "DEBUG [TModemDriver] Sending command: ATX204<0D>\n",
        "DEBUG [TModemAdapter] --- End open line ---\n",
        "DEBUG [TRS232Stream] Closing stream for " + modem.path() + " DONE.\n",
        "DEBUG [TTellumCaller] openLine 204 = true, info \"\"\n",
        "DEBUG [TModemAdapter] Set guest name is not supported function\n",
        "DEBUG [TTellumCaller] setGuestName 204 = true, info \"\"\n",
        "DEBUG [TModemAdapter] --- Begin close line ---\n",
        "DEBUG [TModemAdapter] --- End close line ---\n",
        "DEBUG [TTellumCaller] closeLine 204 = true, info \"\"\n",
    };
    size_t previous = 0;
    for (const std::string& line : inOrder) {
        SCOPED_TRACE(line);
        const size_t at = log.find(line, previous);
        ASSERT_NE(at, std::string::npos) << log;
        previous = at;
    }
    EXPECT_EQ(log.find(" ERROR "), std::string::npos) << log;
}

} // namespace
