// pbxhost as an unattended service, as a real child process: refusing to run
// without plug-ins, plug-in paths relative to the configuration's folder, the
// signals a service gets (SIGHUP from logrotate, other stop signals), a stop
// while a wait is under way, one host per state folder, the warning about a
// readable password, startup errors with the log switched off, console lines
// for the journal and the notification protocol of systemd.
#include "platform/event_loop.h"
#include "platform/timer.h"

#include "test_support/notify_socket.h"
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Dispatches events until `condition` holds or 30 s have passed; a short
// timer makes the wait look again, since files and sockets wake no event loop.
bool WaitFor(const std::function<bool()>& condition, uint32_t ms = 30000) {
    platform::Timer poll([] {});
    poll.setInterval(20);
    poll.start();
    return platform::WaitUntil(condition, ms);
}

std::string PluginSection(const std::string& extra = {}) {
    return "[host]\n"
           "plugin_dir = " TEST_PLUGIN_DIR "\n"
           "plugins.first = mod_hosttest\n"
           "state_dir = .\n"
           "\n"
           "[mod_hosttest]\n" +
           extra;
}

// One pbxhost process on dir/pbxhost.conf (or `configArgument`), its log in
// dir/pbxhost.log, its standard error in dir/stderr.txt.
class Host {
public:
    Host(const TempDir& dir, const std::string& config, std::map<std::string, std::string> env = {},
         std::vector<std::string> args = {"--log-level", "trace"}, mode_t mode = 0600)
        : dir_(dir) {
        WriteFile(dir.file("pbxhost.conf"), config);
        EXPECT_EQ(::chmod(dir.file("pbxhost.conf").c_str(), mode), 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("NOTIFY_SOCKET");
        environment.remove("JOURNAL_STREAM");
        for (const auto& [name, value] : env)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        process_.setProcessEnvironment(environment);
        process_.setWorkingDirectory(QString::fromStdString(dir.path()));
        process_.setStandardErrorFile(QString::fromStdString(dir.file("stderr.txt")));
        process_.setStandardOutputFile(QString::fromStdString(dir.file("stdout.txt")));
        QStringList arguments;
        if (std::find(args.begin(), args.end(), "--config") == args.end())
            arguments << "--config" << QString::fromStdString(dir.file("pbxhost.conf"));
        if (std::find(args.begin(), args.end(), "--log-file") == args.end())
            arguments << "--log-file" << QString::fromStdString(dir.file("pbxhost.log"));
        for (const auto& a : args)
            arguments << QString::fromStdString(a);
        process_.start(PBXHOST_PATH, arguments);
        EXPECT_TRUE(process_.waitForStarted(20000));
    }
    ~Host() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

    pid_t pid() const { return pid_t(process_.processId()); }
    std::string log() const { return ReadFile(dir_.file("pbxhost.log")); }
    std::string stderrText() const { return ReadFile(dir_.file("stderr.txt")); }
    bool running() const { return process_.state() != QProcess::NotRunning; }

    bool waitForLog(const std::string& text) {
        return WaitFor([&] { return Has(log(), text) || !running(); }) && Has(log(), text);
    }
    // The exit code once it ended by itself, -1 when it did not end in time.
    int waitForExit() {
        if (!WaitFor([&] { return !running(); }))
            return -1;
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    void signal(int signo) { ASSERT_EQ(::kill(pid(), signo), 0); }

private:
    const TempDir& dir_;
    QProcess process_;
};

// ------------------------------------------------------------ no plug-ins

struct EmptyHostCase {
    const char* name;
    std::string config;
    std::vector<std::string> inMessage;
};

void PrintTo(const EmptyHostCase& c, std::ostream* os) {
    *os << c.name;
}

class HostWithoutPlugins : public testing::TestWithParam<EmptyHostCase> {};

TEST_P(HostWithoutPlugins, RefusesToRunAndNamesTheFileAndTheKeys) {
    TempDir dir;
    Host host(dir, GetParam().config);
    EXPECT_EQ(host.waitForExit(), 1) << host.log();
    const std::string output = host.stderrText();
    EXPECT_TRUE(Has(output, dir.file("pbxhost.conf"))) << output;
    for (const auto& part : GetParam().inMessage)
        EXPECT_TRUE(Has(output, part)) << output;
    EXPECT_FALSE(Has(host.log(), "Host running")) << host.log();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostWithoutPlugins,
    testing::Values(
        EmptyHostCase{"EmptyFile", "", {"names no plug-in under host.plugins", "keys read"}},
        EmptyHostCase{"TypoInTheKey",
                      "[host]\nplugin.manager = mod_quorvin\n",
                      {"names no plug-in under host.plugins", "host.plugin.manager",
                       "host.allow_no_plugins = yes"}},
        EmptyHostCase{"EveryPluginFails",
                      "[host]\nstate_dir = .\nplugins.a = /nonexistent/mod_a.so\n"
                      "plugins.b = /nonexistent/mod_b.so\n",
                      {"none of the plug-ins named in", "host.plugins.a, host.plugins.b"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HostWithoutPlugins, RunsWhenTheConfigurationSaysSo) {
    TempDir dir;
    Host host(dir, "[host]\nallow_no_plugins = yes\nstate_dir = .\n");
    ASSERT_TRUE(host.waitForLog("Host running with 0 plug-in(s)")) << host.stderrText();
    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0) << host.log();
}

// ------------------------------------------------------------ plug-in paths

// "./mod_x.so" is the file in the configuration's folder, however the file
// was named on the command line: the "./" must not turn it into a bare name
// that the dynamic loader looks up in the system's search order.
TEST(HostPluginPath, DotSlashCountsFromTheConfigurationsFolder) {
    for (const std::string configArgument : {"pbxhost.conf", "./pbxhost.conf"}) {
        SCOPED_TRACE(configArgument);
        TempDir dir;
        std::filesystem::copy_file(TEST_PLUGIN_DIR "/mod_hosttest.so", dir.file("mod_hosttest.so"));
        Host host(dir, "[host]\nplugins.local = ./mod_hosttest.so\nstate_dir = .\n", {},
                  {"--config", configArgument, "--log-level", "debug"});
        ASSERT_TRUE(host.waitForLog("Host running with 1 plug-in(s)")) << host.log();
        EXPECT_TRUE(
            Has(host.log(), "Plug-in mod_hosttest started from " + dir.file("mod_hosttest.so")))
            << host.log();
        host.signal(SIGTERM);
        EXPECT_EQ(host.waitForExit(), 0);
    }
}

// ------------------------------------------------------------ signals

// logrotate moves the file away and sends SIGHUP: the host writes on into a
// new file of the old name and keeps running.
TEST(HostSignals, HangUpReopensTheLogFileAndTheHostRunsOn) {
    TempDir dir;
    Host host(dir, PluginSection());
    ASSERT_TRUE(host.waitForLog("Host running")) << host.stderrText();
    std::filesystem::rename(dir.file("pbxhost.log"), dir.file("pbxhost.log.1"));
    host.signal(SIGHUP);
    ASSERT_TRUE(
        host.waitForLog("SIGHUP received, log file " + dir.file("pbxhost.log") + " reopened"))
        << host.stderrText();
    EXPECT_TRUE(host.running());
    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0);
    EXPECT_TRUE(Has(host.log(), "Plug-in mod_hosttest unloaded")) << host.log();
    EXPECT_FALSE(Has(ReadFile(dir.file("pbxhost.log.1")), "SIGHUP")) << "written to the old file";
}

class HostOtherStopSignals : public testing::TestWithParam<int> {};

// A terminating signal other than SIGTERM and SIGINT still stops the
// plug-ins in order; the exit code says which signal came.
TEST_P(HostOtherStopSignals, StopThePluginsInOrder) {
    TempDir dir;
    Host host(dir, PluginSection());
    ASSERT_TRUE(host.waitForLog("Host running")) << host.stderrText();
    host.signal(GetParam());
    EXPECT_EQ(host.waitForExit(), 128 + GetParam()) << host.log();
    const std::string log = host.log();
    EXPECT_TRUE(Has(log, "received, stopping")) << log;
    EXPECT_TRUE(Has(log, "[THostTestPlugin] --- Shutdown end ---")) << log;
    EXPECT_TRUE(Has(log, "DEBUG [pbxhost] Host stopped")) << log;
}

INSTANTIATE_TEST_SUITE_P(Signals, HostOtherStopSignals,
                         testing::Values(SIGQUIT, SIGUSR1, SIGUSR2, SIGPWR),
                         [](const auto& info) { return std::to_string(info.param); });

// A stop signal that comes while a plug-in waits (as a link-library command
// waits up to 90 s for the driver) ends the wait at once.
TEST(HostSignals, StopEndsAWaitUnderWayAtOnce) {
    TempDir dir;
    Host host(dir, PluginSection("wait_ms = 600000\n"));
    ASSERT_TRUE(host.waitForLog("Waiting 600000 ms")) << host.stderrText();
    const auto start = std::chrono::steady_clock::now();
    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0) << host.log();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25))
        << "the host waited for the plug-in's wait to run out";
    const std::string log = host.log();
    EXPECT_LT(log.find("Wait ended"), log.find("Stopping plug-in mod_hosttest")) << log;
}

// ------------------------------------------------------------ one host per state

TEST(HostStateLock, ASecondHostOnTheSameStateIsRefusedWithThePidOfTheFirst) {
    TempDir dir;
    TempDir other;
    Host first(dir, PluginSection());
    ASSERT_TRUE(first.waitForLog("Host running")) << first.stderrText();
    Host second(other, "[host]\nplugin_dir = " TEST_PLUGIN_DIR
                       "\nplugins.first = mod_hosttest\nstate_dir = " +
                           dir.path() + "\n");
    EXPECT_EQ(second.waitForExit(), 1);
    EXPECT_TRUE(Has(second.stderrText(), "Another pbxhost (PID " + std::to_string(first.pid()) +
                                             ") works on the state folder " + dir.path()))
        << second.stderrText();
    EXPECT_FALSE(Has(second.log(), "started from")) << second.log();
    EXPECT_TRUE(first.running());
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);

    // The lock goes with its holder, and its file does not stop the next start.
    Host third(other, "[host]\nplugin_dir = " TEST_PLUGIN_DIR
                      "\nplugins.first = mod_hosttest\nstate_dir = " +
                          dir.path() + "\n");
    ASSERT_TRUE(third.waitForLog("Host running")) << third.stderrText();
    third.signal(SIGTERM);
    EXPECT_EQ(third.waitForExit(), 0);
}

// ------------------------------------------------------------ start-up messages

TEST(HostStartup, ALogFileThatCannotBeOpenedIsReportedEvenWithTheLogOff) {
    TempDir dir;
    Host host(dir, PluginSection(), {},
              {"--log-level", "off", "--log-file", dir.file("missing/folder/pbxhost.log")});
    EXPECT_EQ(host.waitForExit(), 1);
    EXPECT_TRUE(Has(host.stderrText(), "pbxhost: Host not started: Cannot open log file \"" +
                                           dir.file("missing/folder/pbxhost.log") + "\""))
        << host.stderrText();
}

TEST(HostStartup, WarnsWhenEveryUserCanReadAPassword) {
    for (const mode_t mode : {mode_t(0644), mode_t(0640)}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        Host host(dir, PluginSection("db.password = secret\n"), {}, {"--log-level", "debug"}, mode);
        ASSERT_TRUE(host.waitForLog("Host running")) << host.stderrText();
        const bool warned =
            Has(host.log(), "holds mod_hosttest.db.password and every user of this machine "
                            "can read it");
        EXPECT_EQ(warned, mode == 0644) << host.log();
        host.signal(SIGTERM);
        EXPECT_EQ(host.waitForExit(), 0);
    }
}

// ------------------------------------------------------------ journal

// Under systemd, standard error is the journal: JOURNAL_STREAM names it. Each
// record is one line with its syslog priority and no time stamp; a text with
// a line break and 8-bit code-page bytes (a greeting "Ив" in Windows-1251,
// a line feed, "x") is escaped and converted. The log file keeps the bytes.
TEST(HostJournal, OneLinePerRecordWithPriorityAndUtf8Text) {
    TempDir dir;
    WriteFile(dir.file("stderr.txt"), "");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("stderr.txt").c_str(), &st), 0);
    const std::string journal =
        std::to_string(uint64_t(st.st_dev)) + ":" + std::to_string(uint64_t(st.st_ino));

    Host host(dir, PluginSection("greeting = \"\\xC8\\xE2\\nx\"\n"), {{"JOURNAL_STREAM", journal}},
              {"--log-level", "debug"});
    ASSERT_TRUE(host.waitForLog("Host running")) << host.stderrText();
    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0);

    const std::string console = host.stderrText();
    EXPECT_TRUE(Has(console, "\n<7>DEBUG [THostTestPlugin] Greeting \xD0\x98\xD0\xB2<0A>x\n"))
        << console;
    size_t start = 0;
    for (size_t end; (end = console.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = console.substr(start, end - start);
        EXPECT_TRUE(line.rfind("<7>", 0) == 0 || line.rfind("<4>", 0) == 0 ||
                    line.rfind("<3>", 0) == 0)
            << line;
    }
    EXPECT_TRUE(Has(host.log(), "DEBUG [THostTestPlugin] Greeting \xC8\xE2\nx\n")) << host.log();
}

// Without the journal the console has the file's line format, escaped and
// converted the same way.
TEST(HostJournal, ConsoleOutsideTheJournalKeepsTimeStamps) {
    TempDir dir;
    Host host(dir, PluginSection("greeting = \"\\xC8\\xE2\\nx\"\n"), {}, {"--log-level", "debug"});
    ASSERT_TRUE(host.waitForLog("Host running")) << host.stderrText();
    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0);
    const std::string console = host.stderrText();
    EXPECT_TRUE(Has(console, " DEBUG [THostTestPlugin] Greeting \xD0\x98\xD0\xB2<0A>x\n"))
        << console;
    EXPECT_FALSE(Has(console, "<7>")) << console;
}

// ------------------------------------------------------------ systemd notifications

using test_support::NotifySocket;

TEST(HostNotify, ReadyWatchdogAndStatusReachTheServiceManager) {
    TempDir dir;
    NotifySocket socket(dir.file("notify.sock"));
    Host host(dir, PluginSection("status_tick_ms = 100\nwait_ms = 600000\n"),
              {{"NOTIFY_SOCKET", dir.file("notify.sock")}, {"WATCHDOG_USEC", "200000"}});
    ASSERT_TRUE(host.waitForLog("Waiting 600000 ms")) << host.stderrText();

    // Ready once the plug-ins have started, with their status line.
    ASSERT_TRUE(WaitFor([&] { return socket.count("READY=1") == 1; })) << host.log();
    const std::string ready = socket.messages().front();
    EXPECT_TRUE(Has(ready, "READY=1\n")) << ready;
    EXPECT_TRUE(Has(ready, "STATUS=mod_hosttest: tick ")) << ready;
    EXPECT_TRUE(Has(ready, "MAINPID=" + std::to_string(host.pid()))) << ready;

    // The plug-in waits in a timer slot; the pings and status lines go on.
    const size_t pings = socket.count("WATCHDOG=1");
    EXPECT_TRUE(WaitFor([&] { return socket.count("WATCHDOG=1") >= pings + 3; }))
        << "the watchdog was not pinged while a wait was under way";
    EXPECT_TRUE(WaitFor([&] { return socket.count("STATUS=mod_hosttest: tick ") >= 2; }));
    EXPECT_FALSE(Has(host.log(), "Wait ended"));

    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0);
    EXPECT_EQ(socket.count("STOPPING=1"), 1u);
}

TEST(HostNotify, WithoutANotificationSocketNothingIsSent) {
    TempDir dir;
    NotifySocket socket(dir.file("notify.sock"));
    Host host(dir, PluginSection("status_tick_ms = 100\n"), {{"WATCHDOG_USEC", "200000"}});
    ASSERT_TRUE(host.waitForLog("Host running")) << host.stderrText();
    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0);
    EXPECT_TRUE(socket.messages().empty());
}

} // namespace
