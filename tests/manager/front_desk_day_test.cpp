// A front-desk day through the manager's cycles against the front database and
// the recording adapter: actions at the desk, cycles and faults in the order
// they happen, and for each case the adapter calls of all its cycles, every
// line state recorded (each against the room its line belongs to) and what is
// left in the queue. Faults of one event (a room that does not exist, a
// missing stay, a raising adapter, a line state or pushback the database
// refuses, a connection killed in the middle of a call) must leave the other
// events done once and that event queued with a text that says what happened.
#include "manager_fixture.h"

#include <fmt/format.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace manager_test {
namespace {

using Raise = Answer::Raise;

const std::string kBrown = "BROWN ANN";
const std::string kGreen = "GREEN TOM";
const std::string kSmith = "SMITH JOHN"; // in house in room 102 in the demo data

// One thing that happens during the day.
struct Cycle {};
struct Sql {
    std::string text;
};
// The module's connection is killed while the adapter carries out this call.
struct KillConnectionDuring {
    std::string call;
};
using Step = std::variant<Action, Cycle, Sql, KillConnectionDuring>;

Action Desk(std::string code, std::optional<std::string> room,
            std::optional<std::string> guest = std::nullopt,
            std::optional<std::string> newValue = std::nullopt) {
    return Action{.code = std::move(code),
                  .room = std::move(room),
                  .guest = std::move(guest),
                  .newValue = std::move(newValue)};
}

std::string Call(const std::string& operation, const std::string& line, const std::string& name) {
    return fmt::format("{}({}, {})", operation, line, name);
}
std::string Open(const std::string& line, const std::string& name) {
    return Call("openLine", line, name);
}
std::string Close(const std::string& line) {
    return Call("closeLine", line, "");
}
std::string Name(const std::string& line, const std::string& name) {
    return Call("setGuestName", line, name);
}

// A queue row: code, WAITING or TAKEN, hand-outs, pushbacks; and a part of the
// stored text ("<null>": none stored).
struct QueueRow {
    std::string code;
    std::string state;
    int taken = 1;
    int pushedBack = 0;
    std::string infoPart = "<null>";
};
QueueRow Done(std::string code) {
    return {std::move(code), "TAKEN", 1, 0};
}
QueueRow Waiting(std::string code, int times, std::string infoPart) {
    return {std::move(code), "WAITING", times, times, std::move(infoPart)};
}

struct DayCase {
    const char* name = "";
    std::vector<Step> steps = {};
    std::map<std::string, Answer> script = {};
    std::vector<std::string> calls = {};
    // The whole line log, oldest first: room, state, reason.
    Rows lineLog = {};
    std::vector<QueueRow> queue = {};
    // The beginning of each error line of the module, in order.
    std::vector<std::string> errors = {};
};

void PrintTo(const DayCase& c, std::ostream* os) {
    *os << c.name;
}

class FrontDeskDay : public ManagerTest, public testing::WithParamInterface<DayCase> {};

TEST_P(FrontDeskDay, EveryEventIsDoneOnceOrStaysQueuedWithItsReason) {
    const DayCase& c = GetParam();
    module(); // its start-up clear must not meet the day's events
    adapter_->script = c.script;
    for (const Step& step : c.steps) {
        if (const auto* action = std::get_if<Action>(&step))
            queue(*action);
        else if (std::holds_alternative<Cycle>(step))
            module().executeCycle();
        else if (const auto* sql = std::get_if<Sql>(&step))
            test_db::Execute(db_, sql->text);
        else
            adapter_->duringCall[std::get<KillConnectionDuring>(step).call] = [this] {
                killOtherAttachments();
            };
    }

    EXPECT_EQ(adapter_->calls, c.calls) << log_.dump();
    EXPECT_EQ(lineStates(), c.lineLog);

    const Rows rows = queueRows();
    ASSERT_EQ(rows.size(), c.queue.size()) << log_.dump();
    for (size_t i = 0; i < rows.size(); ++i) {
        const QueueRow& q = c.queue[i];
        SCOPED_TRACE(q.code);
        EXPECT_EQ(rows[i][0], q.code);
        EXPECT_EQ(rows[i][1], q.state);
        EXPECT_EQ(rows[i][2], std::to_string(q.taken));
        EXPECT_EQ(rows[i][3], std::to_string(q.pushedBack));
        if (q.infoPart == "<null>")
            EXPECT_EQ(rows[i][4], "<null>");
        else
            EXPECT_NE(rows[i][4].find(q.infoPart), std::string::npos) << rows[i][4];
    }

    const std::vector<std::string> errors = log_.texts(LogLevel::Error, kModuleSource);
    ASSERT_EQ(errors.size(), c.errors.size()) << log_.dump();
    for (size_t i = 0; i < errors.size(); ++i)
        EXPECT_EQ(errors[i].rfind(c.errors[i], 0), 0u) << errors[i];
}

const char* const kCycleUndone = "The cycle is undone so that no event is lost";
const char* const kConnectionLost =
    "The connection to the front database was lost during the cycle; the events not finished "
    "come again at the next tick.";

// A trigger that refuses the queue changes of the first event logged with
// `code`: its pushback ("pushback") or its stored text ("text"), for as long as
// TEST_REFUSING holds a row (kStopRefusing empties it: a trigger dropped
// meanwhile would still fire in the module's prepared statements).
std::vector<Step> RefuseQueueChange(const std::string& what, const std::string& code) {
    const std::string changed = what == "pushback"
                                    ? "new.PUSHBACK_COUNT <> old.PUSHBACK_COUNT"
                                    : "new.PROCESSED_AT is distinct from old.PROCESSED_AT";
    return {Sql{"create exception TEST_REFUSED 'queue change refused'"},
            Sql{"create table TEST_REFUSING (ON_ smallint)"},
            Sql{"insert into TEST_REFUSING values (1)"},
            Sql{fmt::format("create trigger TEST_REFUSE for EAI_EVENTQ before update as begin "
                            "if (exists (select 1 from TEST_REFUSING) and old.ID_EVENT = (select "
                            "min(ID_SYSTEM_LOG) from SYSTEM_LOG_EVENT where ACTION_CODE = '{}') "
                            "and {}) then exception TEST_REFUSED; end",
                            code, changed)}};
}
const Sql kStopRefusing{"delete from TEST_REFUSING"};

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrontDeskDay,
    testing::Values(
        DayCase{.name = "TwoLineSuiteMovedIntoAndCheckedOut",
                .steps = {Desk("CHECK_IN", "104", kBrown), Cycle{},
                          Desk("ROOM_MOVED", "104", kBrown, "201"), Cycle{},
                          Desk("CHECK_OUT", "201"), Cycle{}},
                .calls = {Open("2104", kBrown), Name("2104", kBrown),
                          // the move: the old line freed, each line of the suite opened once
                          Name("2104", ""), Close("2104"), Open("2201", kBrown),
                          Name("2201", kBrown), Open("2202", kBrown), Name("2202", kBrown),
                          // the check-out: each line of the suite closed once
                          Name("2201", ""), Close("2201"), Name("2202", ""), Close("2202")},
                .lineLog = {{"104", "OPEN", "CHECK_IN"},
                            {"104", "CLOSE", "ROOM_MOVED"},
                            {"201", "OPEN", "ROOM_MOVED"},
                            {"201", "OPEN", "ROOM_MOVED"},
                            {"201", "CLOSE", "CHECK_OUT"},
                            {"201", "CLOSE", "CHECK_OUT"}},
                .queue = {Done("CHECK_IN"), Done("ROOM_MOVED"), Done("CHECK_OUT")}},
        DayCase{.name = "TwoLineSuiteCheckedInAndOutEarly",
                .steps = {Desk("CHECK_IN", "201", kGreen), Cycle{}, Desk("CHECK_OUT_EARLY1", "201"),
                          Cycle{}},
                .calls = {Open("2201", kGreen), Name("2201", kGreen), Open("2202", kGreen),
                          Name("2202", kGreen), Name("2201", ""), Close("2201"), Name("2202", ""),
                          Close("2202")},
                .lineLog = {{"201", "OPEN", "CHECK_IN"},
                            {"201", "OPEN", "CHECK_IN"},
                            {"201", "CLOSE", "CHECK_OUT_EARLY1"},
                            {"201", "CLOSE", "CHECK_OUT_EARLY1"}},
                .queue = {Done("CHECK_IN"), Done("CHECK_OUT_EARLY1")}},
        DayCase{
            .name = "MoveBetweenSingleLineRooms",
            .steps = {Desk("ROOM_MOVED", "102", kSmith, "104"), Cycle{}},
            .calls = {Name("2102", ""), Close("2102"), Open("2104", kSmith), Name("2104", kSmith)},
            // The room left is closed, the room moved to is open.
            .lineLog = {{"102", "CLOSE", "ROOM_MOVED"}, {"104", "OPEN", "ROOM_MOVED"}},
            .queue = {Done("ROOM_MOVED")}},
        DayCase{
            .name = "ManualOpenWithoutARoomBetweenTwoGoodEvents",
            .steps = {Desk("CHECK_IN", "101", kBrown), Desk("PBX.MANUAL_OPEN", std::nullopt),
                      Desk("CHECK_IN", "104", kGreen), Cycle{}, Cycle{}, Cycle{}},
            // Only the good events reach the exchange, once each.
            .calls = {Open("2101", kBrown), Name("2101", kBrown), Open("2104", kGreen),
                      Name("2104", kGreen)},
            .lineLog = {{"101", "OPEN", "CHECK_IN"}, {"104", "OPEN", "CHECK_IN"}},
            .queue = {Done("CHECK_IN"),
                      Waiting("PBX.MANUAL_OPEN", 3, "(PBX.MANUAL_OPEN) names no room of the hotel"),
                      Done("CHECK_IN")},
            .errors = {"Event ", "Event ", "Event "}},
        DayCase{.name = "LoggedObjectThatIsNoRoom",
                .steps = {Sql{"insert into SYSTEM_LOG_EVENT (ACTION_CODE, LOG_OBJECT_ID) values "
                              "('PBX.MANUAL_CLOSE', 999)"},
                          Sql{"insert into EAI_EVENTQ (IFC_MODULE_NAME, ID_EVENT) select "
                              "'mod_quorvin', max(ID_SYSTEM_LOG) from SYSTEM_LOG_EVENT"},
                          Desk("PBX.MANUAL_CLOSE", "104"), Cycle{}},
                .calls = {Name("2104", ""), Close("2104")},
                .lineLog = {{"104", "CLOSE", "PBX.MANUAL_CLOSE"}},
                .queue = {Waiting("PBX.MANUAL_CLOSE", 1, "names no room of the hotel"),
                          Done("PBX.MANUAL_CLOSE")},
                .errors = {"Event "}},
        DayCase{.name = "NameChangeWithoutAStay",
                .steps = {Sql{"insert into SYSTEM_LOG_EVENT (ACTION_CODE, LOG_OBJECT_ID) values "
                              "('GUEST_IDENT_CHNG', 2)"},
                          Sql{"insert into EAI_EVENTQ (IFC_MODULE_NAME, ID_EVENT) select "
                              "'mod_quorvin', max(ID_SYSTEM_LOG) from SYSTEM_LOG_EVENT"},
                          Cycle{}},
                // SMITH JOHN's name on line 2102 is not wiped.
                .calls = {},
                .queue = {Waiting("GUEST_IDENT_CHNG", 1, "has no stay")},
                .errors = {"Event "}},
        DayCase{.name = "RaisingAdapterFailsOnlyItsEvent",
                .steps = {Desk("CHECK_IN", "101", kBrown), Desk("CHECK_IN", "104", kGreen),
                          Desk("PBX.MANUAL_OPEN", "103"), Cycle{}, Cycle{}},
                .script = {{Open("2104", kGreen), {true, "port busy", Raise::StdError}},
                           {Open("2103", ""), {true, "", Raise::NonStdError}}},
                .calls = {Open("2101", kBrown), Name("2101", kBrown), Open("2104", kGreen),
                          Open("2103", ""), Open("2104", kGreen), Open("2103", "")},
                .lineLog = {{"101", "OPEN", "CHECK_IN"}},
                .queue = {Done("CHECK_IN"),
                          Waiting("CHECK_IN", 2, "The adapter failed in openLine(2104): port busy"),
                          Waiting("PBX.MANUAL_OPEN", 2,
                                  "The adapter failed in openLine(2103): unknown exception")},
                .errors = {"Event ", "Event ", "Event ", "Event "}},
        DayCase{
            .name = "LineStateTheDatabaseRefuses",
            .steps = {Desk("ROOM_MOVED", "102", kSmith, "104"), Desk("CHECK_IN", "101", kBrown),
                      Sql{"create exception TEST_REFUSED 'line state refused'"},
                      Sql{"create trigger TEST_REFUSE_104 for ROOM_LINE_LOG before insert as "
                          "begin if (new.ID_ROOM = 4) then exception TEST_REFUSED; end"},
                      Cycle{}},
            .calls = {Name("2102", ""), Close("2102"), Open("2104", kSmith), Open("2101", kBrown),
                      Name("2101", kBrown)},
            // The move's first state is undone with the rest of the move.
            .lineLog = {{"101", "OPEN", "CHECK_IN"}},
            .queue = {Waiting("ROOM_MOVED", 1, "The line state OPEN of room 4 was not recorded"),
                      Done("CHECK_IN")},
            .errors = {"Error on set room line state (OPEN/CLOSE)", "Event "}},
        DayCase{.name = "PushbackThatFails",
                .steps = Join({RefuseQueueChange("pushback", "CHECK_IN"),
                               {Desk("CHECK_IN", "101", kBrown), Desk("CHECK_IN", "104", kGreen),
                                Cycle{}, kStopRefusing, Cycle{}}}),
                .script = {{Open("2101", kBrown), {false, "Line busy"}}},
                // The undone cycle's check-in of 104 is recorded again without a second call.
                .calls = {Open("2101", kBrown), Open("2104", kGreen), Name("2104", kGreen),
                          Open("2101", kBrown)},
                .lineLog = {{"104", "OPEN", "CHECK_IN"}},
                .queue = {Waiting("CHECK_IN", 1, "Line busy"), Done("CHECK_IN")},
                .errors = {"Unable to pushBack event ", kCycleUndone}},
        DayCase{.name = "StoredTextThatFails",
                .steps = Join({RefuseQueueChange("text", "CHECK_IN"),
                               {Desk("CHECK_IN", "101", kBrown), Desk("CHECK_IN", "104", kGreen),
                                Cycle{}}}),
                .script = {{Open("2101", kBrown), {false, "Line busy"}}},
                .calls = {Open("2101", kBrown), Open("2104", kGreen), Name("2104", kGreen)},
                .lineLog = {{"104", "OPEN", "CHECK_IN"}},
                // Only the text is lost: the event waits for the next cycle.
                .queue = {Waiting("CHECK_IN", 1, "<null>"), Done("CHECK_IN")},
                .errors = {"Unable to attach info for event "}},
        DayCase{.name = "ConnectionKilledDuringAnAdapterCall",
                .steps = {Desk("CHECK_IN", "101", kBrown), Desk("CHECK_IN", "104", kGreen),
                          KillConnectionDuring{Open("2104", kGreen)}, Cycle{}, Cycle{}},
                // The next tick reconnects; 101 was done and is not sent again.
                .calls = {Open("2101", kBrown), Name("2101", kBrown), Open("2104", kGreen),
                          Open("2104", kGreen), Name("2104", kGreen)},
                .lineLog = {{"101", "OPEN", "CHECK_IN"}, {"104", "OPEN", "CHECK_IN"}},
                .queue = {Done("CHECK_IN"), Done("CHECK_IN")},
                .errors = {"Error on set room line state (OPEN/CLOSE)", kConnectionLost}}),
    [](const testing::TestParamInfo<DayCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace manager_test
