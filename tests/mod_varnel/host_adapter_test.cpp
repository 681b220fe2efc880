// pbxhost running mod_varnel alone, as child processes beside hl-driver-sim and a
// real front database: the adapter's timer connects the link, and what the driver
// reports reaches the database and the spool file.
#include "platform/event_loop.h"
#include "platform/timer.h"
#include "test_db/scratch_database.h"
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

bool WaitFor(const std::function<bool()>& condition, uint32_t ms = 60000) {
    // Files, databases and other processes wake no event loop: poll now and then.
    platform::Timer poll([] {});
    poll.setInterval(50);
    poll.start();
    return platform::WaitUntil(condition, ms);
}

// A value of the configuration file, quoted so that any password survives.
std::string Quoted(const std::string& value) {
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

class ChildProcess {
public:
    ~ChildProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool stop() {
        ::kill(pid_t(process.processId()), SIGTERM);
        return WaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000);
    }
    QProcess process;
};

std::string FileOrEmpty(const std::string& path) {
    try {
        return ReadFile(path);
    } catch (...) {
        return {};
    }
}

TEST(HostWithHotelLinkAdapter, DriverEventsReachTheDatabaseAndTheSpoolFile) {
    TempDir dir;
    test_db::ScratchDatabase database;
    fbdb::Connection admin;
    database.connect(admin);

    // The driver waits for the adapter's link, then reports a room status and a call.
    WriteFile(dir.file("driver.txt"), "wait connect timeout=60000\n"
                                      "pause 100\n"
                                      "send roomstatus room=2102 status=0 field=ABC\n"
                                      "send ticket line=2101 type=1 time=0102241530 "
                                      "duration=00125 f4=0001\n");
    ChildProcess driver;
    driver.process.start(HL_DRIVER_SIM, {"--port", "0", "--no-stdin", "--script",
                                         QString::fromStdString(dir.file("driver.txt"))});
    ASSERT_TRUE(driver.process.waitForReadyRead(20000));
    const std::string first = driver.process.readLine().toStdString();
    ASSERT_EQ(first.rfind("hl-driver-sim listening on 127.0.0.1:", 0), 0u) << first;
    const std::string port =
        first.substr(first.rfind(':') + 1, first.find('\n') - first.rfind(':') - 1);

    WriteFile(dir.file("pbxhost.conf"), "[host]\n"
                                        "plugins.adapter = mod_varnel\n"
                                        "[mod_varnel]\n"
                                        "varnel.driver_ip = 127.0.0.1\n"
                                        "varnel.driver_port = " +
                                            port +
                                            "\n"
                                            "varnel.log_path = " +
                                            dir.file("queues") +
                                            "\n"
                                            "out_tickect_scan.cache_file_name = " +
                                            dir.file("cache.dat") +
                                            "\n"
                                            "out_tickect_scan.spool_file_name = " +
                                            dir.file("spool.dat") +
                                            "\n"
                                            "timer_interval = 300\n"
                                            "db.name = " +
                                            database.name() +
                                            "\n"
                                            "db.user_name = " +
                                            Quoted(test_db::ServerLogin().user) +
                                            "\n"
                                            "db.password = " +
                                            Quoted(test_db::ServerLogin().password) + "\n");
    ChildProcess host;
    host.process.start(PBXHOST_PATH,
                       {"--config", QString::fromStdString(dir.file("pbxhost.conf")), "--log-file",
                        QString::fromStdString(dir.file("pbxhost.log")), "--log-level", "debug"});
    ASSERT_TRUE(host.process.waitForStarted(20000));
    const auto log = [&] { return FileOrEmpty(dir.file("pbxhost.log")); };

    const test_db::Rows dirty = {{"DIRTY", "ABC"}};
    EXPECT_TRUE(WaitFor([&] {
        return test_db::Select(admin, "select HK_STATUS, HK_TEXT from ROOMS "
                                      "where ROOM_NAME = '102'") == dirty;
    })) << log();
    std::string line;
    for (const std::string column :
         {"01/02/2024 15:30:00", "2101", "0001", "0:02:05", "", "0", "", ""})
        line += std::string(20 - column.size(), ' ') + column;
    line += "\r\n";
    EXPECT_TRUE(WaitFor([&] { return FileOrEmpty(dir.file("spool.dat")) == line; }))
        << FileOrEmpty(dir.file("spool.dat")) << log();

    ASSERT_TRUE(host.stop()) << log();
    EXPECT_EQ(host.process.exitCode(), 0);
    const std::string text = log();
    EXPECT_NE(text.find("DEBUG [TvarnelDM] Timer started on 300"), std::string::npos) << text;
    EXPECT_NE(text.find("DEBUG [THLDriver] Exec DLL function Disconnect: 1"), std::string::npos)
        << text;
    EXPECT_NE(text.find("DEBUG [THLDriver] Library was released"), std::string::npos) << text;
    EXPECT_EQ(text.find(" ERROR "), std::string::npos) << text;
    EXPECT_TRUE(driver.stop());
}

} // namespace
