// The modem road end to end: pbxhost runs the PBX manager and the modem adapter
// against a scratch front database, and the modem simulator answers on a
// pseudo-terminal from its own thread. A check-in at the front desk becomes an AT
// conversation per telephone line of the room.
#include "config_text.h"
#include "front_db.h"
#include "host_run.h"

#include "modem_sim/modem_simulator.h"
#include "test_db/scratch_database.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using e2e::WaitFor;
using test_db::Rows;
using Lines = std::vector<std::string>;

class ModemRoad : public testing::Test {
protected:
    void SetUp() override { database_.connect(db_); }

    // The manager ticks every 100 ms; the modem is woken, set up with "ATE1", and
    // gets the unlock command with the line filled in, then a pause of one second.
    std::string configuration() const {
        return "[host]\n"
               "plugins.adapter = mod_tellum\n"
               "plugins.manager = mod_quorvin\n"
               "\n"
               "[mod_quorvin]\n"
               "pbx_adapter = mod_tellum\n"
               "timer_interval = 100\n" +
               e2e::DatabaseKeys(database_) +
               "\n"
               "[mod_tellum]\n"
               "unlock_command_line = AT*U\\n\\p\n"
               "lock_command_line = AT*L\\n\n"
               "read_time_out = 1000\n"
               "modem_config_str_1 = ATE1\n"
               "rs.device = " +
               modem_.slavePath() + "\n";
    }

    Rows lineStates(const std::string& room) {
        return test_db::Select(db_, "select l.STATUS_CODE, l.REASON_CODE from ROOM_LINE_LOG l "
                                    "join ROOMS r on r.ID_ROOM = l.ID_ROOM "
                                    "where r.ROOM_NAME = '" +
                                        room + "' order by l.ID");
    }

    test_db::ScratchDatabase database_;
    fbdb::Connection db_;
    test_support::TempDir dir_;
    modem_sim::ModemSimulator modem_;
};

TEST_F(ModemRoad, CheckInOpensEveryLineOfTheRoomThroughTheModem) {
    e2e::HostRun host(dir_, configuration());
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(host.waitForLog("DEBUG [TpbxManagerDM] Timer started on 100")) << host.log();

    // The suite 201 has the lines 2201 and 2202.
    front_db::Queue(db_, {.code = "CHECK_IN", .room = "201", .guest = "BROWN ANN"});
    EXPECT_TRUE(WaitFor([&] { return lineStates("201").size() >= 2; })) << host.log();
    EXPECT_EQ(lineStates("201"), (Rows{{"OPEN", "CHECK_IN"}, {"OPEN", "CHECK_IN"}}));
    EXPECT_EQ(modem_.commandLines(),
              (Lines{"AT", "ATE1", "AT*U2201", "ATH", "AT", "ATE1", "AT*U2202", "ATH"}));

    EXPECT_EQ(host.stop(), 0) << host.log();
    const std::string log = host.log();
    EXPECT_NE(log.find("DEBUG [TModemDriver] Sending command: AT*U2201<0D>"), std::string::npos)
        << log;
    EXPECT_EQ(log.find(" ERROR "), std::string::npos) << log;
}

TEST_F(ModemRoad, RefusedSetUpKeepsTheEventWaitingUntilTheModemAccepts) {
    modem_sim::ModemBehaviour refusing;
    refusing.answers = {{"ATE1", "ERROR"}};
    modem_.setBehaviour(refusing);
    e2e::HostRun host(dir_, configuration());
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(host.waitForLog("DEBUG [TpbxManagerDM] Timer started on 100")) << host.log();

    const front_db::Logged checkIn =
        front_db::Queue(db_, {.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});
    const std::string eventRow = "select QUEUE_STATE, cast(PROCESS_INFO as varchar(200)) "
                                 "from EAI_EVENTQ where ID_EVENT = " +
                                 std::to_string(checkIn.event);
    const Rows refused = {{"0", "The modem send error respond: ERROR, expected respond: OK"}};
    EXPECT_TRUE(WaitFor([&] { return test_db::Select(db_, eventRow) == refused; }))
        << test_db::Select(db_, eventRow).at(0).at(1) << host.log();
    // The modem was woken and hung up again, the line's command never went out.
    const Lines whileRefusing = modem_.commandLines();
    ASSERT_GE(whileRefusing.size(), 3u);
    EXPECT_EQ(std::count(whileRefusing.begin(), whileRefusing.end(), "AT*U2101"), 0);
    EXPECT_EQ(Lines(whileRefusing.begin(), whileRefusing.begin() + 3),
              (Lines{"AT", "ATE1", "ATH"}));
    EXPECT_EQ(lineStates("101"), Rows{});

    // The modem accepts again: the event comes round once more and opens the line.
    modem_.setBehaviour({});
    EXPECT_TRUE(WaitFor([&] {
        return lineStates("101") == Rows{{"OPEN", "CHECK_IN"}};
    })) << host.log();
    EXPECT_TRUE(WaitFor([&] { return test_db::Select(db_, eventRow).at(0).at(0) == "1"; }))
        << host.log();
    const Lines all = modem_.commandLines();
    EXPECT_EQ(std::count(all.begin(), all.end(), "AT*U2101"), 1);

    EXPECT_EQ(host.stop(), 0) << host.log();
}

// The exchange refuses one room's line: that event waits with the modem's
// answer and nothing is recorded for it, while the next event goes through once.
TEST_F(ModemRoad, ExchangeRefusingOneLineHoldsOnlyThatEvent) {
    modem_sim::ModemBehaviour refusing;
    refusing.answers = {{"AT*U2101", "ERROR"}};
    modem_.setBehaviour(refusing);
    e2e::HostRun host(dir_, configuration());
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(host.waitForLog("DEBUG [TpbxManagerDM] Timer started on 100")) << host.log();

    const front_db::Logged refused =
        front_db::Queue(db_, {.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});
    front_db::Queue(db_, {.code = "CHECK_IN", .room = "104", .guest = "GREEN TOM"});
    const std::string eventRow = "select QUEUE_STATE, cast(PROCESS_INFO as varchar(200)) "
                                 "from EAI_EVENTQ where ID_EVENT = " +
                                 std::to_string(refused.event);
    const Rows waiting = {{"0", "The modem answered \"ERROR\" to the command line: "
                                "AT*U2101<0D><0D><0A>ERROR<0D><0A>"}};
    EXPECT_TRUE(WaitFor([&] {
        return test_db::Select(db_, eventRow) == waiting &&
               lineStates("104") == Rows{{"OPEN", "CHECK_IN"}};
    })) << test_db::Select(db_, eventRow).at(0).at(1)
        << host.log();
    EXPECT_EQ(lineStates("101"), Rows{});

    modem_.setBehaviour({});
    EXPECT_TRUE(WaitFor([&] {
        return lineStates("101") == Rows{{"OPEN", "CHECK_IN"}};
    })) << host.log();
    EXPECT_EQ(host.stop(), 0) << host.log();
    const Lines all = modem_.commandLines();
    EXPECT_EQ(std::count(all.begin(), all.end(), "AT*U2104"), 1);
    EXPECT_EQ(lineStates("104"), (Rows{{"OPEN", "CHECK_IN"}}));
}

} // namespace
