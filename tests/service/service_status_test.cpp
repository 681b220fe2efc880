// The service's status line from the real plug-ins: pbxhost runs the PBX
// manager and the hotel-link adapter against a scratch front database and the
// HL driver simulator, with a notification socket of the test's own standing
// for systemd's. The line tells, in the plug-ins' order, the last cycle, the
// events it left waiting and the state of the hotel link.
#include "config_text.h"
#include "front_db.h"
#include "host_run.h"

#include "hlsim/simulator.h"
#include "test_db/scratch_database.h"
#include "test_support/notify_socket.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using e2e::WaitFor;

TEST(ServiceStatus, TellsTheLastCycleTheEventsWaitingAndTheHotelLink) {
    test_support::TempDir dir;
    test_db::ScratchDatabase database;
    fbdb::Connection db;
    database.connect(db);
    hlsim::Simulator driver;
    driver.listen();
    test_support::NotifySocket socket(dir.file("notify.sock"));
    ASSERT_TRUE(socket.bound());

    e2e::HostRun host(dir,
                      "[host]\n"
                      "plugins.manager = mod_quorvin\n"
                      "plugins.adapter = mod_varnel\n\n"
                      "[mod_quorvin]\n"
                      "pbx_adapter = mod_varnel\n"
                      "timer_interval = 100\n" +
                          e2e::DatabaseKeys(database) +
                          "\n[mod_varnel]\n"
                          "varnel.driver_ip = 127.0.0.1\n"
                          "varnel.driver_port = " +
                          driver.portText() + "\nvarnel.log_path = " + dir.file("queues") +
                          "\nout_tickect_scan.cache_file_name = " + dir.file("cache.dat") +
                          "\nout_tickect_scan.spool_file_name = " + dir.file("spool.dat") + "\n" +
                          e2e::DatabaseKeys(database),
                      {{"NOTIFY_SOCKET", dir.file("notify.sock")}});
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(WaitFor([&] { return socket.count("READY=1") == 1; })) << host.log();
    // Before the first line operation the link library is not loaded yet.
    EXPECT_TRUE(WaitFor([&] {
        return socket.lastStatus().find("hotel link: not loaded") != std::string::npos;
    })) << socket.lastStatus();

    // A check-in done: the link is up, nothing waits.
    front_db::Queue(db, {.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});
    const std::regex done("manager: last cycle \\d\\d:\\d\\d:\\d\\d ok, 0 events waiting; hotel "
                          "link: connected; 0 tickets waiting, 0 room states waiting");
    EXPECT_TRUE(WaitFor([&] { return std::regex_match(socket.lastStatus(), done); }))
        << socket.lastStatus() << "\n"
        << host.log();

    // A check-in the exchange refuses stays waiting, and the line says so.
    driver.setReply("A", "*", {hlsim::AnswerStep('J', 'T')});
    front_db::Queue(db, {.code = "CHECK_IN", .room = "102", .guest = "GREEN BOB"});
    EXPECT_TRUE(WaitFor([&] {
        return socket.lastStatus().find(" ok, 1 event waiting; hotel link: connected;") !=
               std::string::npos;
    })) << socket.lastStatus();

    EXPECT_EQ(host.stop(), 0) << host.log();
    EXPECT_EQ(socket.count("STOPPING=1"), 1u);
}

} // namespace
