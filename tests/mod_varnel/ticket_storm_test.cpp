// The random-kill storm: pbxhost runs the hotel-link adapter against an HL driver
// simulator that keeps its backlog across connections (as a driver does) while a
// stream of out-call tickets flows; pbxhost is killed with SIGKILL again and again,
// half of the times at a random moment, half at a random change of a file in its
// folder (through the fault library), and started again after each kill. At the end
// every ticket the driver had acknowledged is in the spool exactly once, in order.
// The test prints its figures.
#include "adapter_fixture.h"

#include "hlsim/frames.h"
#include "hlsim/simulator.h"
#include "platform/files.h"
#include "test_db/scratch_database.h"
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using adapter_test::WaitFor;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

constexpr int Tickets = 2500;
constexpr int Kills = 45;
constexpr unsigned Seed = 20240201;
constexpr size_t LineLength = 162;

std::string FileOrEmpty(const std::string& path) {
    return platform::FileExists(path) ? ReadFile(path) : std::string();
}

// The number a ticket carries in its 20-character field.
std::string Number(int n) {
    std::string digits = std::to_string(n);
    return "S" + std::string(19 - digits.size(), '0') + digits;
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

class Host {
public:
    Host(const std::string& config, const std::string& log,
         const std::map<std::string, std::string>& environment) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : environment)
            env.insert(QString::fromStdString(name), QString::fromStdString(value));
        process_.setProcessEnvironment(env);
        process_.start(PBXHOST_PATH, {"--config", QString::fromStdString(config), "--log-file",
                                      QString::fromStdString(log), "--log-level", "debug"});
    }
    ~Host() {
        if (running())
            kill();
        process_.waitForFinished(10000);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    bool started() { return process_.waitForStarted(20000); }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    void kill() { ::kill(pid_t(process_.processId()), SIGKILL); }
    void stop() { ::kill(pid_t(process_.processId()), SIGTERM); }
    bool killed() const { return process_.exitStatus() == QProcess::CrashExit; }

private:
    QProcess process_;
};

TEST(TicketStorm, EveryAcknowledgedTicketIsBilledOnceThroughRepeatedKills) {
    TempDir dir;
    const std::string files = dir.file("files");
    const std::string logs = dir.file("logs");
    std::filesystem::create_directory(files);
    std::filesystem::create_directory(logs);
    test_db::ScratchDatabase database;

    hlsim::Simulator driver;
    driver.setKeepBacklog(true);
    // Re-sent until acknowledged: a driver does not give a ticket up.
    driver.setPacing(hlsim::Pacing::AwaitAck, 2000, 1000000);
    driver.listen();

    const std::string config = dir.file("pbxhost.conf");
    WriteFile(config, "[host]\n"
                      "plugins.adapter = mod_varnel\n"
                      "[mod_varnel]\n"
                      "varnel.driver_ip = 127.0.0.1\n"
                      "varnel.driver_port = " +
                          driver.portText() + "\nvarnel.log_path = " + files +
                          "/\nout_tickect_scan.cache_file_name = " + files +
                          "/cache.dat\nout_tickect_scan.spool_file_name = " + files +
                          "/spool.dat\ntimer_interval = 200\ndb.name = " + database.name() +
                          "\ndb.user_name = " + Quoted(test_db::ServerLogin().user) +
                          "\ndb.password = " + Quoted(test_db::ServerLogin().password) + "\n");

    std::vector<std::string> frames;
    for (int n = 1; n <= Tickets; ++n)
        frames.push_back(hlsim::BuildFrame("ticket", {{"line", std::to_string(2101 + n % 40)},
                                                      {"type", "1"},
                                                      {"time", "0102241530"},
                                                      {"duration", "00042"},
                                                      {"f20", Number(n)}}));
    driver.send(frames);

    // A sanitizer build wants its runtime first; the fault library needs none.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions = asan ? asan : "";
    std::mt19937 random(Seed);
    int atACall = 0;
    int atAMoment = 0;
    std::string lastLog;
    for (int k = 1; k <= Kills; ++k) {
        lastLog = logs + "/host-" + std::to_string(k) + ".log";
        const bool byCall = k % 2 == 1;
        std::map<std::string, std::string> environment;
        if (byCall) {
            environment = {
                {"LD_PRELOAD", FAULT_CALLS_LIBRARY},
                {"ASAN_OPTIONS", asanOptions + ":verify_asan_link_order=0"},
                {"FAULT_FOLDER", files},
                {"FAULT_AT", std::to_string(std::uniform_int_distribution<>(1, 400)(random))}};
        }
        Host host(config, lastLog, environment);
        ASSERT_TRUE(host.started());
        if (byCall) {
            // It kills itself at that call; one that runs out of work first is killed
            // all the same.
            WaitFor([&] { return !host.running() || !driver.sending(); }, 60000);
        } else {
            const uint32_t ms = std::uniform_int_distribution<uint32_t>(50, 1500)(random);
            WaitFor([&] { return !host.running(); }, ms);
        }
        if (host.running()) {
            host.kill();
            ++atAMoment;
        } else {
            ++(byCall ? atACall : atAMoment);
        }
        ASSERT_TRUE(WaitFor([&] { return !host.running(); }, 20000));
        ASSERT_TRUE(host.killed()) << FileOrEmpty(lastLog);
    }

    // The last run drains what is left and stops when asked.
    lastLog = logs + "/host-final.log";
    {
        Host host(config, lastLog, {});
        ASSERT_TRUE(host.started());
        // Stopped only once it runs: a SIGTERM that comes before the program has
        // blocked its stop signals ends it as a kill would.
        ASSERT_TRUE(WaitFor(
            [&] { return FileOrEmpty(lastLog).find("Host running with") != std::string::npos; },
            60000))
            << FileOrEmpty(lastLog);
        EXPECT_TRUE(WaitFor(
            [&] {
                return !driver.sending() && FileOrEmpty(files + "/TicketsOut.txt").empty() &&
                       FileOrEmpty(files + "/cache.dat").empty();
            },
            600000))
            << FileOrEmpty(lastLog).substr(0, 20000);
        host.stop();
        ASSERT_TRUE(WaitFor([&] { return !host.running(); }, 30000));
        EXPECT_FALSE(host.killed()) << FileOrEmpty(lastLog).substr(0, 20000);
    }

    const std::string spool = FileOrEmpty(files + "/spool.dat");
    ASSERT_EQ(spool.size() % LineLength, 0u) << "the spool holds a part of a line";
    std::vector<int> seen(Tickets + 1, 0);
    int previous = 0;
    bool inOrder = true;
    size_t lines = 0;
    for (size_t at = 0; at < spool.size(); at += LineLength, ++lines) {
        const std::string line = spool.substr(at, LineLength);
        ASSERT_EQ(line.substr(LineLength - 2), "\r\n") << "line " << lines + 1;
        const std::string field20 = line.substr(80, 20);
        ASSERT_EQ(field20[0], 'S') << line;
        const int n = std::stoi(field20.substr(1));
        ASSERT_TRUE(n >= 1 && n <= Tickets) << line;
        inOrder = inOrder && n > previous;
        previous = std::max(previous, n);
        ++seen[n];
    }
    int doubled = 0;
    int lost = 0;
    for (int n = 1; n <= Tickets; ++n) {
        doubled += seen[n] > 1 ? 1 : 0;
        lost += seen[n] == 0 ? 1 : 0;
    }
    std::printf("[ figures  ] %d kills (%d at a change of a file, %d at a random moment), seed "
                "%u; %d tickets, %zu acknowledged, %zu sent again; %zu spool lines, %d doubled, "
                "%d lost\n",
                atACall + atAMoment, atACall, atAMoment, Seed, Tickets, driver.framesAcknowledged(),
                driver.framesResent(), lines, doubled, lost);
    EXPECT_EQ(driver.framesGivenUp(), 0u);
    EXPECT_GE(driver.framesAcknowledged(), size_t(Tickets));
    EXPECT_EQ(doubled, 0);
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(lines, size_t(Tickets));
}

} // namespace
