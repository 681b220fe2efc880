// pbxhost running the hotel-link adapter against hl-driver-sim, with and without a
// system bus: with one, the driver's notifications reach a monitor in another process
// and the log says the bus is connected; without one, the host works as before and
// its log says once that the notifications stay inside it. `pbxhost --status` asks
// the running host over the bus: all well, link down, a host that does not answer,
// no host, no bus.
#include "bus_fixture.h"

#include "test_db/scratch_database.h"
#include "test_support/private_bus.h"
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>

namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

std::string FileOrEmpty(const std::string& path) {
    try {
        return ReadFile(path);
    } catch (...) {
        return {};
    }
}

std::string Quoted(const std::string& value) {
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class Child {
public:
    ~Child() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool stop() {
        ::kill(pid_t(process.processId()), SIGTERM);
        return bus_test::WaitPolling([&] { return process.state() == QProcess::NotRunning; },
                                     30000);
    }
    QProcess process;
};

// The driver reports one out-call once the adapter's link is up; the host runs the
// adapter alone with its database and spool file in a scratch folder.
class HostRun {
public:
    explicit HostRun(const std::string& busAddress) {
        database.connect(admin);
        WriteFile(dir.file("driver.txt"), "wait connect timeout=60000\n"
                                          "pause 100\n"
                                          "send ticket line=2101 type=1 time=0102241530 "
                                          "duration=00125 f4=0001\n");
        driver.process.start(HL_DRIVER_SIM, {"--port", "0", "--no-stdin", "--script",
                                             QString::fromStdString(dir.file("driver.txt"))});
        EXPECT_TRUE(driver.process.waitForReadyRead(20000));
        const std::string first = driver.process.readLine().toStdString();
        const std::string port =
            first.substr(first.rfind(':') + 1, first.find('\n') - first.rfind(':') - 1);
        WriteFile(dir.file("pbxhost.conf"),
                  "[host]\nplugins.adapter = mod_varnel\n[mod_varnel]\n"
                  "varnel.driver_ip = 127.0.0.1\nvarnel.driver_port = " +
                      port + "\nvarnel.log_path = " + dir.file("queues") +
                      "\nout_tickect_scan.cache_file_name = " + dir.file("cache.dat") +
                      "\nout_tickect_scan.spool_file_name = " + dir.file("spool.dat") +
                      "\ntimer_interval = 300\ndb.name = " + database.name() +
                      "\ndb.user_name = " + Quoted(test_db::ServerLogin().user) +
                      "\ndb.password = " + Quoted(test_db::ServerLogin().password) + "\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(busAddress));
        host.process.setProcessEnvironment(env);
        host.process.start(PBXHOST_PATH,
                           {"--config", QString::fromStdString(dir.file("pbxhost.conf")),
                            "--log-file", QString::fromStdString(dir.file("pbxhost.log")),
                            "--log-level", "debug"});
        EXPECT_TRUE(host.process.waitForStarted(20000));
    }

    std::string log() { return FileOrEmpty(dir.file("pbxhost.log")); }
    bool ticketBilled() {
        return bus_test::WaitPolling(
            [&] { return FileOrEmpty(dir.file("spool.dat")).find("2101") != std::string::npos; },
            60000);
    }

    TempDir dir;
    test_db::ScratchDatabase database;
    fbdb::Connection admin;
    Child driver;
    Child host;
};

TEST(HostOnTheBus, TheDriversNotificationsReachAnotherProcess) {
    TempDir policyDir;
    test_support::PrivateBus bus(bus_test::HostPoliciesForThisProcess(policyDir));
    test_support::BusMonitor monitor(bus.address(), {bus_test::NotificationRule});
    HostRun run(bus.address());

    ASSERT_TRUE(run.ticketBilled()) << run.log();
    ASSERT_TRUE(monitor.waitFor(VARNEL_BUS_INTERFACE, 2)) << monitor.output() << run.log();
    const auto received = monitor.signalsOf(VARNEL_BUS_INTERFACE);
    EXPECT_EQ(received[0].arguments, bus_test::Printed("Connected to HL driver", 0, 0));
    EXPECT_EQ(received[1].arguments,
              bus_test::Printed("Ticket for outgoing call from HL driver", 1, 2101));
    ASSERT_TRUE(run.host.stop()) << run.log();
    EXPECT_EQ(run.host.process.exitCode(), 0);
    const std::string log = run.log();
    EXPECT_EQ(Count(log, "DEBUG [pbxhost] System bus connected (" + bus.address() + " as :"), 2u)
        << log;
    EXPECT_EQ(Count(log, "): " VARNEL_BUS_NAME " sends its notifications"), 1u) << log;
    EXPECT_EQ(Count(log, "): org.hotelpbxlink.PbxHost serves the host's status"), 1u) << log;
    EXPECT_EQ(log.find("System bus unavailable"), std::string::npos) << log;
    EXPECT_EQ(log.find(" ERROR "), std::string::npos) << log;
}

TEST(HostOnTheBus, WithoutABusItWorksAsBeforeAndLogsOneLine) {
    TempDir nowhere;
    const std::string missing = "unix:path=" + nowhere.file("no-bus");
    HostRun run(missing);

    ASSERT_TRUE(run.ticketBilled()) << run.log();
    ASSERT_TRUE(run.host.stop()) << run.log();
    EXPECT_EQ(run.host.process.exitCode(), 0);
    const std::string log = run.log();
    EXPECT_EQ(Count(log, "WARN  [pbxhost] System bus unavailable for " VARNEL_BUS_NAME
                         " (cannot connect to " +
                             missing +
                             ": No such file or directory): its notifications reach only "
                             "this process"),
              1u)
        << log;
    EXPECT_EQ(log.find(" ERROR "), std::string::npos) << log;
}

struct Status {
    int exitCode = -1;
    std::string text;
};

// pbxhost --status on the bus at `busAddress`, as a monitoring check runs it.
Status AskStatus(const std::string& busAddress, int timeoutSeconds = 5) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(busAddress));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(PBXHOST_PATH, {"--status", "--timeout", QString::number(timeoutSeconds)});
    if (!p.waitForFinished(timeoutSeconds * 1000 + 30000))
        return {-1, "did not end: " + p.readAll().toStdString()};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAll().toStdString()};
}

// Asks until the status has the exit code and the text, for up to 60 s.
Status AskStatusUntil(const std::string& busAddress, int exitCode, const std::string& part) {
    Status status;
    for (int attempt = 0; attempt < 120; ++attempt) {
        status = AskStatus(busAddress);
        if (status.exitCode == exitCode && status.text.find(part) != std::string::npos)
            break;
        bus_test::WaitPolling([] { return false; }, 500);
    }
    return status;
}

TEST(HostStatus, AllWellThenLinkDownThenAHostThatDoesNotAnswerThenNoHost) {
    TempDir policyDir;
    test_support::PrivateBus bus(bus_test::HostPoliciesForThisProcess(policyDir));
    HostRun run(bus.address());
    ASSERT_TRUE(run.ticketBilled()) << run.log();
    const std::string pid = std::to_string(run.host.process.processId());

    Status s = AskStatusUntil(bus.address(), 0, "All is well");
    EXPECT_EQ(s.exitCode, 0) << s.text << run.log();
    for (const std::string& part :
         {"pbxhost " + pid + " running since ", " with " + run.dir.file("pbxhost.conf") + "\n",
          std::string("Plug-ins: mod_varnel\n"),
          std::string("  hotel link: connected; 0 tickets waiting, 0 room states waiting\n"),
          std::string("Last error: none\n")})
        EXPECT_NE(s.text.find(part), std::string::npos) << part << "\n" << s.text;

    ASSERT_TRUE(run.driver.stop());
    s = AskStatusUntil(bus.address(), 1, "hotel link: disconnected");
    EXPECT_EQ(s.exitCode, 1) << s.text << run.log();
    EXPECT_NE(s.text.find("Needs attention:\n  hotel link: disconnected\n"), std::string::npos)
        << s.text;

    // A host whose main thread stands still: the check ends at its time-out.
    ::kill(pid_t(run.host.process.processId()), SIGSTOP);
    s = AskStatus(bus.address(), 1);
    ::kill(pid_t(run.host.process.processId()), SIGCONT);
    EXPECT_EQ(s.exitCode, 1) << s.text;
    EXPECT_EQ(s.text, "The host does not tell its status: org.hotelpbxlink.PbxHost did not answer "
                      "within 1 s\n");

    ASSERT_TRUE(run.host.stop()) << run.log();
    EXPECT_EQ(run.host.process.exitCode(), 0);
    s = AskStatus(bus.address());
    EXPECT_EQ(s.exitCode, 2) << s.text;
    EXPECT_EQ(s.text,
              "No host runs: nobody owns org.hotelpbxlink.PbxHost on " + bus.address() + "\n");
}

TEST(HostStatus, WithoutABusOrWithAHungOneItSaysSoAndEnds) {
    TempDir dir;
    const std::string missing = "unix:path=" + dir.file("no-bus");
    Status s = AskStatus(missing);
    EXPECT_EQ(s.exitCode, 2) << s.text;
    EXPECT_EQ(s.text, "No host can be asked: cannot connect to the system bus at " + missing +
                          ": No such file or directory\n");

    test_support::PrivateBus bus;
    bus.pause();
    s = AskStatus(bus.address(), 1);
    bus.resume();
    EXPECT_EQ(s.exitCode, 2) << s.text;
    EXPECT_EQ(s.text, "No host can be asked: the system bus at " + bus.address() +
                          " did not answer within 1 s\n");
}

} // namespace
