// pbxhost stops its plug-ins in order on SIGTERM and SIGINT even when a
// plug-in's library has installed handlers of its own for them and runs a
// thread: the signal reaches only the host's event loop.
#include "platform/event_loop.h"
#include "platform/timer.h"

#include "test_support/temp_dir.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

class HostSignals : public testing::TestWithParam<int> {};

TEST_P(HostSignals, ReachTheHostAndNotThePluginsHandlers) {
    TempDir dir;
    const std::string logFile = dir.file("pbxhost.log");
    WriteFile(dir.file("pbxhost.conf"), "[host]\n"
                                        "plugin_dir = " TEST_PLUGIN_DIR "\n"
                                        "plugins.handler = mod_sighandler\n");
    QProcess host;
    host.start(PBXHOST_PATH, {"--config", QString::fromStdString(dir.file("pbxhost.conf")),
                              "--log-file", QString::fromStdString(logFile)});
    ASSERT_TRUE(host.waitForStarted(20000));
    {
        // A file that grows wakes no event loop: a short timer makes the wait look again.
        platform::Timer poll([] {});
        poll.setInterval(20);
        poll.start();
        ASSERT_TRUE(platform::WaitUntil(
            [&] {
                return ReadFile(logFile).find("Host running") != std::string::npos ||
                       host.state() == QProcess::NotRunning;
            },
            30000));
    }
    ASSERT_NE(ReadFile(logFile).find("Host running with 1 plug-in(s)"), std::string::npos)
        << ReadFile(logFile);

    ASSERT_EQ(::kill(pid_t(host.processId()), GetParam()), 0);
    ASSERT_TRUE(host.waitForFinished(30000));
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(host.exitCode(), 0) << ReadFile(logFile); // 7: the plug-in's handler ran
    const std::string log = ReadFile(logFile);
    EXPECT_NE(log.find("DEBUG [TSignalHandlerPlugin] Worker stopped"), std::string::npos) << log;
    EXPECT_NE(log.find("DEBUG [pbxhost] Host stopped"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Signals, HostSignals, testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                             return info.param == SIGTERM ? "SIGTERM" : "SIGINT";
                         });

} // namespace
