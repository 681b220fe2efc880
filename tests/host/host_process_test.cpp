// pbxhost as a real child process: started on a temporary configuration,
// stopped by a signal, judged by its log file and exit code.
#include "platform/event_loop.h"
#include "platform/timer.h"

#include "test_support/temp_dir.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <string>
#include <vector>

namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

struct HostRun {
    std::string configFile;
    std::string logFile;
    QProcess process;

    HostRun(const TempDir& dir, const std::string& configText) {
        configFile = dir.file("pbxhost.conf");
        logFile = dir.file("pbxhost.log");
        WriteFile(configFile, configText);
    }

    void start(const std::vector<std::string>& extra = {"--log-level", "trace"}) {
        QStringList args{"--config", QString::fromStdString(configFile), "--log-file",
                         QString::fromStdString(logFile)};
        for (const auto& a : extra)
            args << QString::fromStdString(a);
        process.start(PBXHOST_PATH, args);
        ASSERT_TRUE(process.waitForStarted(20000));
    }

    std::string log() const { return ReadFile(logFile); }

    bool waitForLog(const std::string& text) {
        // A file that grows wakes no event loop: a short timer makes the wait look again.
        platform::Timer poll([] {});
        poll.setInterval(20);
        poll.start();
        return platform::WaitUntil(
                   [&] {
                       return log().find(text) != std::string::npos ||
                              process.state() == QProcess::NotRunning;
                   },
                   30000) &&
               log().find(text) != std::string::npos;
    }

    bool waitForExit() {
        return platform::WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000);
    }

    ~HostRun() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

std::string Config(const std::string& pluginLines) {
    return "# written by the host tests\n"
           "[host]\n"
           "plugin_dir = " TEST_PLUGIN_DIR "\n" +
           pluginLines +
           "\n"
           "[mod_hosttest]\n"
           "greeting = \" hello \"\n";
}

// Position of `text` in `log`, or npos; a helper for checking line order.
size_t At(const std::string& log, const std::string& text) {
    return log.find(text);
}

class HostStopsOnSignal : public testing::TestWithParam<int> {};

TEST_P(HostStopsOnSignal, RunsPluginsThenStopsThemInReverseOrderAndExitsZero) {
    TempDir dir;
    HostRun host(dir, Config("plugins.first = mod_hosttest\n"
                             "plugins.second = mod_hosttest2.so\n"));
    host.start();
    ASSERT_TRUE(host.waitForLog("Host running with 2 plug-in(s)")) << host.log();

    ASSERT_EQ(::kill(pid_t(host.process.processId()), GetParam()), 0);
    ASSERT_TRUE(host.waitForExit()) << host.log();
    EXPECT_EQ(host.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(host.process.exitCode(), 0);

    const std::string log = host.log();
    const std::string signalLine =
        std::string(GetParam() == SIGTERM ? "SIGTERM" : "SIGINT") + " received, stopping";
    const std::vector<std::string> inOrder = {
        "DEBUG [THostTestPlugin] Found adapter mod_hosttest\n",
        "DEBUG [TPluginLoader] Plug-in mod_hosttest started from " TEST_PLUGIN_DIR
        "/mod_hosttest.so\n",
        "DEBUG [THostTestPlugin] Found adapter mod_hosttest2\n",
        "DEBUG [pbxhost] Host running with 2 plug-in(s)\n",
        "DEBUG [pbxhost] " + signalLine + "\n",
        "DEBUG [TPluginLoader] Stopping plug-in mod_hosttest2\n",
        "DEBUG [TPluginLoader] Plug-in mod_hosttest2 unloaded\n",
        "DEBUG [TPluginLoader] Stopping plug-in mod_hosttest\n",
        "DEBUG [TPluginLoader] Plug-in mod_hosttest unloaded\n",
        "DEBUG [pbxhost] Host stopped\n",
    };
    size_t previous = 0;
    for (const auto& line : inOrder) {
        SCOPED_TRACE(line);
        const size_t at = log.find(line, previous);
        ASSERT_NE(at, std::string::npos) << log;
        previous = at;
    }
    EXPECT_EQ(At(log, "ERROR"), std::string::npos) << log;
    // Every line: local time with milliseconds, level, source, text.
    const std::regex shape(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (TRACE|DEBUG|WARN |ERROR) \[[^\]]*\] .*)");
    size_t start = 0;
    for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_TRUE(std::regex_match(log.substr(start, end - start), shape))
            << log.substr(start, end - start);
}

INSTANTIATE_TEST_SUITE_P(Signals, HostStopsOnSignal, testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                             return info.param == SIGTERM ? "SIGTERM" : "SIGINT";
                         });

TEST(HostProcess, BadPluginIsOneErrorLineAndTheOthersRun) {
    TempDir dir;
    const std::string missing = dir.file("missing/mod_gone.so");
    HostRun host(dir, Config("plugins.gone = " + missing +
                             "\n"
                             "plugins.wrong = mod_wrongid\n"
                             "plugins.good = mod_hosttest\n"));
    host.start({"--log-level", "debug"});
    ASSERT_TRUE(host.waitForLog("Host running with 1 plug-in(s)")) << host.log();
    ASSERT_EQ(::kill(pid_t(host.process.processId()), SIGTERM), 0);
    ASSERT_TRUE(host.waitForExit());
    EXPECT_EQ(host.process.exitCode(), 0);

    const std::string log = host.log();
    // One line for each failure, naming the file and the reason.
    EXPECT_NE(At(log, "ERROR [TPluginLoader] Plug-in " + missing + " not loaded: " + missing +
                          ": cannot open shared object file"),
              std::string::npos)
        << log;
    EXPECT_NE(At(log,
                 "ERROR [TPluginLoader] Plug-in " TEST_PLUGIN_DIR
                 "/mod_wrongid.so not loaded: identity \"{00000000-0000-0000-0000-000000000001}\""),
              std::string::npos)
        << log;
    size_t errors = 0;
    for (size_t at = 0; (at = log.find(" ERROR ", at)) != std::string::npos; ++at)
        ++errors;
    EXPECT_EQ(errors, 2u) << log;
    EXPECT_NE(At(log, "Plug-in mod_hosttest started"), std::string::npos) << log;
}

struct CommandCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* output; // expected in stdout + stderr
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

class HostCommandLine : public testing::TestWithParam<CommandCase> {};

TEST_P(HostCommandLine, ExitsWithCodeAndNamesTheProblem) {
    const CommandCase& c = GetParam();
    QProcess process;
    QStringList args;
    for (const auto& a : c.args)
        args << QString::fromStdString(a);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(PBXHOST_PATH, args);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), c.exitCode);
    const std::string output = process.readAll().toStdString();
    EXPECT_NE(output.find(c.output), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostCommandLine,
    testing::Values(CommandCase{"Help", {"--help"}, 0, "Usage: pbxhost --config FILE"},
                    CommandCase{
                        "UnknownOption", {"--frobnicate"}, 2, "Unknown option \"--frobnicate\""},
                    CommandCase{"BadLevel",
                                {"--config", "x", "--log-level", "loud"},
                                2,
                                "Unknown log level \"loud\" in --log-level"},
                    CommandCase{"NoConfig", {}, 2, "No configuration file given"},
                    CommandCase{"MissingConfig",
                                {"--config", "/nonexistent/pbxhost.conf"},
                                1,
                                "Host not started: Cannot read configuration: Cannot open "
                                "\"/nonexistent/pbxhost.conf\""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
