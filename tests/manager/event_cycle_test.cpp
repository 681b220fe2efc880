// One cycle of the event module against the front database: which adapter
// calls each front-desk event makes, which line states are recorded, which
// events are pushed back and which texts are stored with them; and what an
// error anywhere in the cycle leaves behind.
#include "manager_fixture.h"

#include "platform/event_loop.h"

#include <fmt/format.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace manager_test {
namespace {

using Row = std::vector<std::string>;

const std::string kBrown = "BROWN ANN";
const std::string kSmith = "SMITH JOHN"; // in house in room 102 in the demo data

Action Desk(std::string code, std::string room, std::optional<std::string> guest = std::nullopt,
            std::optional<std::string> newValue = std::nullopt) {
    return Action{.code = std::move(code),
                  .room = std::move(room),
                  .guest = std::move(guest),
                  .newValue = std::move(newValue)};
}

// Carried out at the front desk but not queued for the manager.
Action NotQueued(std::string code, std::string room, std::string guest) {
    Action a = Desk(std::move(code), std::move(room), std::move(guest));
    a.module = std::nullopt;
    return a;
}

// Queue rows as queueRows() reads them.
Row Handled(std::string code, std::string info = "<null>") {
    return {std::move(code), "TAKEN", "1", "0", std::move(info)};
}
Row PushedBack(std::string code, std::string info = "<null>") {
    return {std::move(code), "WAITING", "1", "1", std::move(info)};
}
Row Untouched(std::string code) {
    return {std::move(code), "WAITING", "0", "0", "<null>"};
}

std::string Call(const std::string& operation, const std::string& line, const std::string& name) {
    return fmt::format("{}({}, {})", operation, line, name);
}

struct CycleCase {
    const char* name = "";
    std::vector<Action> actions = {};
    std::map<std::string, Answer> script = {};
    std::vector<std::string> calls = {};
    Rows lineStates = {};
    Rows queue = {};
    // A debug line of the module the cycle must write, when given.
    const char* logLine = nullptr;
};

void PrintTo(const CycleCase& c, std::ostream* os) {
    *os << c.name;
}

class EventCycle : public ManagerTest, public testing::WithParamInterface<CycleCase> {};

TEST_P(EventCycle, CallsTheAdapterAndRecordsTheOutcome) {
    const CycleCase& c = GetParam();
    for (const Action& action : c.actions)
        queue(action);
    adapter_->script = c.script;

    module().executeCycle();

    EXPECT_EQ(adapter_->calls, c.calls) << log_.dump();
    EXPECT_EQ(lineStates(), c.lineStates);
    EXPECT_EQ(queueRows(), c.queue);
    if (c.logLine) {
        EXPECT_TRUE(log_.contains(LogLevel::Debug, kModuleSource, c.logLine)) << log_.dump();
    }
    EXPECT_EQ(moduleLines().back(), "DEBUG --- End execution --- ");
    EXPECT_EQ(errors(), std::vector<std::string>()) << log_.dump();
    // Every state is the manager's, without a note.
    EXPECT_EQ(test_db::Select(db_, "select count(*) from ROOM_LINE_LOG where NOTE is not null "
                                   "or IFC_MODULE_NAME is distinct from 'mod_quorvin'"),
              Rows{{"0"}});
}

const std::string kIvanov = front_db::kIvanov; // Windows-1251 bytes

INSTANTIATE_TEST_SUITE_P(
    Events, EventCycle,
    testing::Values(
        CycleCase{.name = "EmptyQueue",
                  .logLine = "No new events of types CHECK_IN,CHECK_OUT,CHECK_OUT_EARLY1,"
                             "CHECK_OUT_EARLY3,ROOM_MOVED,GUEST_IDENT_CHNG,PBX.MANUAL_OPEN,"
                             "PBX.MANUAL_CLOSE for module mod_quorvin"},
        CycleCase{.name = "CheckInOpensTheLineThenShowsTheName",
                  .actions = {Desk("CHECK_IN", "101", kBrown)},
                  .calls = {Call("openLine", "2101", kBrown), Call("setGuestName", "2101", kBrown)},
                  .lineStates = {{"101", "OPEN", "CHECK_IN"}},
                  .queue = {Handled("CHECK_IN")},
                  .logLine = "Event CHECK_IN in process - data 2101 BROWN ANN"},
        CycleCase{.name = "RefusedOpeningIsPushedBackWithTheAdaptersText",
                  .actions = {Desk("CHECK_IN", "101", kBrown)},
                  .script = {{Call("openLine", "2101", kBrown), {false, "Line busy"}}},
                  .calls = {Call("openLine", "2101", kBrown)},
                  .queue = {PushedBack("CHECK_IN", "Line busy")}},
        CycleCase{.name = "RefusedNameAfterOpeningLeavesTheLineOpenAndPushesBack",
                  .actions = {Desk("CHECK_IN", "101", kBrown)},
                  .script = {{Call("setGuestName", "2101", kBrown), {false, "No display"}}},
                  .calls = {Call("openLine", "2101", kBrown), Call("setGuestName", "2101", kBrown)},
                  .lineStates = {{"101", "OPEN", "CHECK_IN"}},
                  .queue = {PushedBack("CHECK_IN", "No display")}},
        CycleCase{.name = "TextOfASuccessIsStoredToo",
                  .actions = {Desk("CHECK_IN", "101", kBrown)},
                  .script = {{Call("setGuestName", "2101", kBrown), {true, "Name cut to 8"}}},
                  .calls = {Call("openLine", "2101", kBrown), Call("setGuestName", "2101", kBrown)},
                  .lineStates = {{"101", "OPEN", "CHECK_IN"}},
                  .queue = {Handled("CHECK_IN", "Name cut to 8")}},
        CycleCase{.name = "ManualOpenOpensWithoutAGuest",
                  .actions = {Desk("PBX.MANUAL_OPEN", "104")},
                  .calls = {Call("openLine", "2104", ""), Call("setGuestName", "2104", "")},
                  .lineStates = {{"104", "OPEN", "PBX.MANUAL_OPEN"}},
                  .queue = {Handled("PBX.MANUAL_OPEN")}},
        CycleCase{.name = "ManualCloseClearsTheNameThenCloses",
                  .actions = {Desk("PBX.MANUAL_CLOSE", "104")},
                  .calls = {Call("setGuestName", "2104", ""), Call("closeLine", "2104", "")},
                  .lineStates = {{"104", "CLOSE", "PBX.MANUAL_CLOSE"}},
                  .queue = {Handled("PBX.MANUAL_CLOSE")},
                  .logLine = "Event PBX.MANUAL_CLOSE in process - data 2104 "},
        CycleCase{.name = "CheckOutsCloseTheRoomsLine",
                  .actions = {NotQueued("CHECK_IN", "104", kBrown),
                              NotQueued("CHECK_IN", "101", "GREEN TOM"), Desk("CHECK_OUT", "102"),
                              Desk("CHECK_OUT_EARLY1", "104"), Desk("CHECK_OUT_EARLY3", "101")},
                  .calls = {Call("setGuestName", "2102", ""), Call("closeLine", "2102", ""),
                            Call("setGuestName", "2104", ""), Call("closeLine", "2104", ""),
                            Call("setGuestName", "2101", ""), Call("closeLine", "2101", "")},
                  .lineStates = {{"102", "CLOSE", "CHECK_OUT"},
                                 {"104", "CLOSE", "CHECK_OUT_EARLY1"},
                                 {"101", "CLOSE", "CHECK_OUT_EARLY3"}},
                  .queue = {Handled("CHECK_OUT"), Handled("CHECK_OUT_EARLY1"),
                            Handled("CHECK_OUT_EARLY3")}},
        CycleCase{.name = "RoomMoveFreesTheOldLineAndOpensTheNewOne",
                  .actions = {Desk("ROOM_MOVED", "102", std::nullopt, "104")},
                  .calls = {Call("setGuestName", "2102", ""), Call("closeLine", "2102", ""),
                            Call("openLine", "2104", kSmith), Call("setGuestName", "2104", kSmith)},
                  // Each against the room its line belongs to.
                  .lineStates = {{"102", "CLOSE", "ROOM_MOVED"}, {"104", "OPEN", "ROOM_MOVED"}},
                  .queue = {Handled("ROOM_MOVED")}},
        CycleCase{.name = "FirstRefusalEndsTheWalkOverTheLines",
                  .actions = {Desk("ROOM_MOVED", "102", std::nullopt, "104")},
                  .script = {{Call("closeLine", "2102", ""), {false, "Line stuck"}}},
                  .calls = {Call("setGuestName", "2102", ""), Call("closeLine", "2102", "")},
                  .queue = {PushedBack("ROOM_MOVED", "Line stuck")}},
        CycleCase{.name = "CheckOutWithoutLinesCountsAsDone",
                  // Stays 1 and 2 are in the demo data: this check-in makes stay 3.
                  .actions = {NotQueued("CHECK_IN", "105", kBrown), Desk("CHECK_OUT", "105")},
                  .queue = {Handled("CHECK_OUT")},
                  .logLine = "No rooms data for event CHECK_OUT for reserv detail 3"},
        CycleCase{.name = "RoomWithoutALineStillReachesTheAdapter",
                  .actions = {Desk("CHECK_IN", "105", kBrown)},
                  .calls = {Call("openLine", "", kBrown), Call("setGuestName", "", kBrown)},
                  .lineStates = {{"105", "OPEN", "CHECK_IN"}},
                  .queue = {Handled("CHECK_IN")}},
        CycleCase{.name = "RoomWithTwoLinesIsOneEventWithTwoLines",
                  .actions = {Desk("CHECK_IN", "201", kBrown)},
                  .calls = {Call("openLine", "2201", kBrown), Call("setGuestName", "2201", kBrown),
                            Call("openLine", "2202", kBrown), Call("setGuestName", "2202", kBrown)},
                  .lineStates = {{"201", "OPEN", "CHECK_IN"}, {"201", "OPEN", "CHECK_IN"}},
                  .queue = {Handled("CHECK_IN")}},
        CycleCase{.name = "RefusalOnTheSecondLinePushesTheEventBack",
                  .actions = {Desk("CHECK_IN", "201", kBrown)},
                  .script = {{Call("openLine", "2202", kBrown), {false, "busy"}}},
                  .calls = {Call("openLine", "2201", kBrown), Call("setGuestName", "2201", kBrown),
                            Call("openLine", "2202", kBrown)},
                  .lineStates = {{"201", "OPEN", "CHECK_IN"}},
                  .queue = {PushedBack("CHECK_IN", "busy")}},
        CycleCase{.name = "CodesMatchAfterTrimmingButOnlyInTheirOwnCase",
                  .actions = {Desk("CHECK_IN  ", "101", kBrown), Desk("check_in", "104")},
                  .calls = {Call("openLine", "2101", kBrown), Call("setGuestName", "2101", kBrown)},
                  .lineStates = {{"101", "OPEN", "CHECK_IN"}},
                  .queue = {Handled("CHECK_IN  "), PushedBack("check_in")},
                  .logLine = "New event check_in found"},
        CycleCase{.name = "NameChangeOfAGuestInHouseIsShown",
                  .actions = {Desk("GUEST_IDENT_CHNG", "102", std::nullopt, "SMITH JANE")},
                  .calls = {Call("setGuestName", "2102", "SMITH JANE")},
                  .queue = {Handled("GUEST_IDENT_CHNG")}},
        CycleCase{.name = "NameChangeOfAReservedGuestIsPushedBack",
                  .actions = {Desk("GUEST_IDENT_CHNG", "103", std::nullopt, "PETROVA A")},
                  .queue = {PushedBack("GUEST_IDENT_CHNG")}},
        CycleCase{.name = "TextOfOneEventIsNotStoredWithTheNext",
                  .actions = {Desk("CHECK_IN", "101", kBrown), Desk("check_in", "104"),
                              Desk("GUEST_IDENT_CHNG", "103", std::nullopt, "PETROVA A")},
                  .script = {{Call("openLine", "2101", kBrown), {false, "Line busy"}}},
                  .calls = {Call("openLine", "2101", kBrown)},
                  .queue = {PushedBack("CHECK_IN", "Line busy"), PushedBack("check_in"),
                            PushedBack("GUEST_IDENT_CHNG")}},
        CycleCase{
            .name = "CyrillicNameTravelsByteForByte",
            .actions = {Desk("CHECK_IN", "101", kIvanov)},
            .script = {{Call("setGuestName", "2101", kIvanov), {true, kIvanov + " shown"}}},
            .calls = {Call("openLine", "2101", kIvanov), Call("setGuestName", "2101", kIvanov)},
            .lineStates = {{"101", "OPEN", "CHECK_IN"}},
            .queue = {Handled("CHECK_IN", kIvanov + " shown")}}),
    [](const testing::TestParamInfo<CycleCase>& info) { return std::string(info.param.name); });

// What a failure of one event leaves behind, over several cycles: see
// front_desk_day_test.cpp.

TEST_F(ManagerTest, WithoutItsAdapterTheCycleIsSkipped) {
    section_->set("timer_interval", "600000");
    queue(Desk("CHECK_IN", "101", kBrown));
    module();

    struct Setting {
        const char* what;
        std::optional<std::string> value;
    };
    for (const Setting& s :
         {Setting{"key missing", std::nullopt}, Setting{"empty", ""},
          Setting{"no such adapter", "mod_varnel"}, Setting{"other letter case", "MOD_RECORDER"}}) {
        SCOPED_TRACE(s.what);
        if (s.value)
            section_->set("pbx_adapter", *s.value);
        else
            section_->remove("pbx_adapter");
        log_.clear();
        module().executeCycle();

        EXPECT_EQ(moduleLines(), (std::vector<std::string>{"DEBUG --- Begin execution --- ",
                                                           "DEBUG PBX Adapter not defined"}));
        EXPECT_TRUE(adapter_->calls.empty());
        EXPECT_EQ(queueRows(), Rows{Untouched("CHECK_IN")});
        EXPECT_TRUE(module().timerRunning());
    }

    // The adapter is looked up afresh at every cycle.
    section_->set("pbx_adapter", "mod_recorder");
    module().executeCycle();
    EXPECT_EQ(adapter_->calls.size(), 2u);
    EXPECT_EQ(queueRows(), Rows{Handled("CHECK_IN")});
}

TEST_F(ManagerTest, LostConnectionIsRestoredAtTheNextCycle) {
    module();
    queue(Desk("CHECK_IN", "101", kBrown));
    killOtherAttachments();
    log_.clear();

    module().executeCycle();

    const auto lines = moduleLines();
    ASSERT_GE(lines.size(), 4u) << log_.dump();
    EXPECT_EQ(lines[1], "DEBUG Check connection to DB");
    EXPECT_EQ(lines[2], "DEBUG No connection to DB -> reconnect");
    EXPECT_EQ(lines[3], "DEBUG Connectign to DB ...");
    EXPECT_TRUE(log_.contains(LogLevel::Debug, kModuleSource, "Successful connectign to DB"));
    EXPECT_EQ(errors(), std::vector<std::string>()) << log_.dump();
    EXPECT_EQ(adapter_->calls.size(), 2u);
    EXPECT_EQ(lineStates(), (Rows{{"101", "OPEN", "CHECK_IN"}}));
    EXPECT_EQ(queueRows(), Rows{Handled("CHECK_IN")});
}

TEST_F(ManagerTest, TimerRunsTheCyclesAndRunsAgainAfterEach) {
    section_->set("timer_interval", "50");
    module();
    EXPECT_TRUE(log_.contains(LogLevel::Debug, kModuleSource, "Timer started on 50"));

    queue(Desk("CHECK_IN", "101", kBrown));
    ASSERT_TRUE(platform::WaitUntil([&] { return adapter_->calls.size() >= 2; }, 30000))
        << log_.dump();
    queue(Desk("CHECK_IN", "104", "GREEN TOM"));
    ASSERT_TRUE(platform::WaitUntil([&] { return adapter_->calls.size() >= 4; }, 30000))
        << log_.dump();
    EXPECT_EQ(adapter_->calls[3], Call("setGuestName", "2104", "GREEN TOM"));
    // The cycle's commit follows the last call within the same tick.
    EXPECT_EQ(lineStates(), (Rows{{"101", "OPEN", "CHECK_IN"}, {"104", "OPEN", "CHECK_IN"}}));
    EXPECT_EQ(errors(), std::vector<std::string>()) << log_.dump();
}

} // namespace
} // namespace manager_test
