// The manager as a plug-in of the host program: pbxhost runs mod_quorvin and
// the test adapter plug-in against a scratch front database, and a check-in
// queued at the front desk reaches the adapter and leaves an "OPEN" line state.
#include "front_db.h"

#include "platform/event_loop.h"
#include "platform/timer.h"

#include "test_db/scratch_database.h"
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

// A configuration value in its quoted form, whatever bytes it holds.
std::string Quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Reads `file` until it holds `text` (or the host ended); a file that grows
// wakes no event loop, so a short timer makes the wait look again.
bool WaitForText(const std::string& file, const std::string& text, const QProcess& host) {
    platform::Timer poll([] {});
    poll.setInterval(20);
    poll.start();
    platform::WaitUntil(
        [&] {
            return ReadFile(file).find(text) != std::string::npos ||
                   host.state() == QProcess::NotRunning;
        },
        30000);
    return ReadFile(file).find(text) != std::string::npos;
}

TEST(ManagerInHost, QueuedCheckInOpensTheLineThroughTheAdapterPlugin) {
    test_db::ScratchDatabase scratch;
    fbdb::Connection db;
    scratch.connect(db, 1);
    front_db::Queue(db, {.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});

    TempDir dir;
    const std::string calls = dir.file("calls.txt");
    const std::string logFile = dir.file("pbxhost.log");
    WriteFile(calls, "");
    WriteFile(dir.file("pbxhost.conf"), "[host]\n"
                                        "plugin_dir = " QUORVIN_PLUGIN_DIR "\n"
                                        "plugins.adapter = " TEST_PLUGIN_DIR "/mod_testadapter.so\n"
                                        "plugins.manager = mod_quorvin\n"
                                        "\n"
                                        "[mod_quorvin]\n"
                                        "pbx_adapter = mod_testadapter\n"
                                        "timer_interval = 100\n"
                                        "db.name = " +
                                            scratch.name() +
                                            "\n"
                                            "db.dialect = 1\n"
                                            "db.user_name = " +
                                            Quoted(test_db::ServerLogin().user) +
                                            "\n"
                                            "db.password = " +
                                            Quoted(test_db::ServerLogin().password) +
                                            "\n"
                                            "\n"
                                            "[mod_testadapter]\n"
                                            "calls_file = " +
                                            calls + "\n");

    QProcess host;
    host.start(PBXHOST_PATH, {"--config", QString::fromStdString(dir.file("pbxhost.conf")),
                              "--log-file", QString::fromStdString(logFile)});
    ASSERT_TRUE(host.waitForStarted(20000));

    ASSERT_TRUE(WaitForText(calls, "setGuestName(2101, BROWN ANN)", host)) << ReadFile(logFile);
    EXPECT_EQ(ReadFile(calls), "openLine(2101, BROWN ANN)\nsetGuestName(2101, BROWN ANN)\n");
    // The cycle commits right after its last call; the next cycle finds the queue empty.
    ASSERT_TRUE(WaitForText(logFile, "No new events of types", host)) << ReadFile(logFile);
    EXPECT_EQ(test_db::Select(db, "select LINE_STATUS, LINE_REASON from ROOM_STATE_V "
                                  "where ROOM_NAME = '101'"),
              (test_db::Rows{{"OPEN", "CHECK_IN"}}));

    ASSERT_EQ(::kill(pid_t(host.processId()), SIGTERM), 0);
    ASSERT_TRUE(host.waitForFinished(30000));
    EXPECT_EQ(host.exitCode(), 0);
    const std::string log = ReadFile(logFile);
    for (const char* line :
         {"DEBUG [TPBXManager] --- Startup end ---", "DEBUG [TpbxManagerDM] Timer started on 100",
          "DEBUG [TpbxManagerDM] New event CHECK_IN found",
          "DEBUG [TPBXManager] --- Shutdown end ---", "DEBUG [TpbxManagerDM] Disconnect from DB",
          "DEBUG [TPluginLoader] Plug-in mod_quorvin unloaded"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    EXPECT_EQ(log.find(" ERROR "), std::string::npos) << log;
}

} // namespace
