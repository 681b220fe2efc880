// A stop that comes while the PBX manager's adapter waits for the exchange:
// the hotel-link adapter's check-in waits up to 90 s for the driver's answer,
// the modem adapter's conversation blocks in a serial read for its read
// time-out. SIGTERM must end either within seconds, leave the event queued
// (nothing counted as done that was not) and let the next start do it.
#include "config_text.h"
#include "front_db.h"
#include "host_run.h"
#include "pseudo_terminal.h"

#include "hlsim/simulator.h"
#include "test_db/scratch_database.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using e2e::WaitFor;
using test_db::Rows;
using Clock = std::chrono::steady_clock;

// Well within systemd's stop time-out, far below the waits that are cut short.
constexpr auto kPromptStop = std::chrono::seconds(20);

class StopDuringWait : public testing::Test {
protected:
    void SetUp() override { database_.connect(db_); }

    std::string managerSection(const std::string& adapter) const {
        return "[mod_quorvin]\n"
               "pbx_adapter = " +
               adapter +
               "\n"
               "timer_interval = 100\n" +
               e2e::DatabaseKeys(database_) + "\n";
    }

    std::string queueState(int event) {
        return test_db::Select(db_, "select QUEUE_STATE from EAI_EVENTQ where ID_EVENT = " +
                                        std::to_string(event))
            .at(0)
            .at(0);
    }

    test_db::ScratchDatabase database_;
    fbdb::Connection db_;
    test_support::TempDir dir_;
};

TEST_F(StopDuringWait, HotelLinkCommandEndsAtOnceAndItsEventComesAgain) {
    hlsim::Simulator driver;
    driver.listen();
    driver.setReply("A", "2101", {}); // the check-in is acknowledged, never answered
    const std::string config = "[host]\n"
                               "plugins.adapter = mod_varnel\n"
                               "plugins.manager = mod_quorvin\n\n" +
                               managerSection("mod_varnel") +
                               "[mod_varnel]\n"
                               "varnel.driver_ip = 127.0.0.1\n"
                               "varnel.driver_port = " +
                               driver.portText() + "\nvarnel.log_path = " + dir_.file("queues") +
                               "\n" + e2e::DatabaseKeys(database_);
    const front_db::Logged checkIn =
        front_db::Queue(db_, {.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});
    {
        e2e::HostRun host(dir_, config);
        ASSERT_TRUE(host.started());
        ASSERT_TRUE(WaitFor([&] {
            for (const auto& request : driver.requests())
                if (request.frame.find("A    2101") != std::string::npos)
                    return true;
            return false;
        })) << host.log();
        const auto start = Clock::now();
        EXPECT_EQ(host.stop(60000), 0) << host.log();
        EXPECT_LT(Clock::now() - start, kPromptStop) << host.log();
        EXPECT_EQ(queueState(checkIn.event), "0") << host.log();
    }
    EXPECT_EQ(test_db::Select(db_, "select LINE_STATUS from ROOM_STATE_V where ROOM_NAME = '101'"),
              (Rows{{"<null>"}}));

    // The next start does the check-in.
    driver.clearReply("A", "2101");
    e2e::HostRun again(dir_, config);
    ASSERT_TRUE(again.started());
    EXPECT_TRUE(WaitFor([&] { return queueState(checkIn.event) == "1"; })) << again.log();
    EXPECT_EQ(test_db::Select(db_, "select LINE_STATUS from ROOM_STATE_V where ROOM_NAME = '101'"),
              (Rows{{"OPEN"}}));
    EXPECT_EQ(again.stop(), 0) << again.log();
}

TEST_F(StopDuringWait, ModemConversationEndsAtOnceAndItsEventStaysQueued) {
    PseudoTerminal modem; // a modem that never answers
    const std::string config = "[host]\n"
                               "plugins.adapter = mod_tellum\n"
                               "plugins.manager = mod_quorvin\n\n" +
                               managerSection("mod_tellum") +
                               "[mod_tellum]\n"
                               "unlock_command_line = AT*U\\n\n"
                               "read_time_out = 600000\n"
                               "rs.device = " +
                               modem.slavePath() + "\n";
    const front_db::Logged checkIn =
        front_db::Queue(db_, {.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});
    e2e::HostRun host(dir_, config);
    ASSERT_TRUE(host.started());
    ASSERT_EQ(modem.receive(), "AT\r") << host.log();

    const auto start = Clock::now();
    EXPECT_EQ(host.stop(60000), 0) << host.log();
    EXPECT_LT(Clock::now() - start, kPromptStop) << host.log();
    EXPECT_EQ(queueState(checkIn.event), "0") << host.log();
    EXPECT_NE(host.log().find("Operation canceled"), std::string::npos) << host.log();
    EXPECT_EQ(test_db::Select(db_, "select LINE_STATUS from ROOM_STATE_V where ROOM_NAME = '101'"),
              (Rows{{"<null>"}}));
}

} // namespace
