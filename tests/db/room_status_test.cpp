#include "front_db.h"

#include "fbdb/error.h"

#include <ibase.h>

namespace front_db {
namespace {

using test_db::Rows;
using test_db::Select;

// The lines a stay concerns after a sequence of front-desk actions; the stay
// asked about is the one of the last action.
struct StayCase {
    const char* label;
    std::vector<Action> actions;
    Rows lines; // LINE_NAME, IS_FREE, PROFILE_NAME
};

class ResroomStatusTest : public FrontDbTest, public testing::WithParamInterface<StayCase> {};

TEST_P(ResroomStatusTest, LinesToFreeAndToOpen) {
    int stay = 9999; // no such stay
    for (const Action& action : GetParam().actions)
        stay = Queue(db_, action).stay;
    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    fbdb::Statement st(db_, cycle,
                       "select rs.LINE_NAME, rs.IS_FREE, rs.PROFILE_NAME\n"
                       "  from EAI_RESROOM_STATUS(:ID_RESERV_DETAIL) rs");
    st.param("ID_RESERV_DETAIL").setInt(stay);
    st.execute();
    Rows lines;
    while (st.fetch())
        lines.push_back({st.field("LINE_NAME").asString(), st.field("IS_FREE").asString(),
                         st.field("PROFILE_NAME").asString()});
    EXPECT_EQ(lines, GetParam().lines);
}

// Demo data: SMITH JOHN is in house in 102; room 201 has lines 2201 and
// 2202; room 105 has none.
INSTANTIATE_TEST_SUITE_P(
    Stays, ResroomStatusTest,
    testing::Values(
        StayCase{"CheckOut", {{"CHECK_OUT", "102"}}, {{"2102", "1", "SMITH JOHN"}}},
        StayCase{"EarlyCheckOutOfTwoLineRoom",
                 {{"CHECK_IN", "201", kIvanov}, {"CHECK_OUT_EARLY1", "201"}},
                 {{"2201", "1", kIvanov}, {"2202", "1", kIvanov}}},
        StayCase{"RoomMove",
                 {{"ROOM_MOVED", "102", {}, "104"}},
                 {{"2102", "1", "SMITH JOHN"}, {"2104", "0", "SMITH JOHN"}}},
        StayCase{"MoveIntoTwoLineRoom",
                 {{"ROOM_MOVED", "102", {}, "201"}},
                 {{"2102", "1", "SMITH JOHN"},
                  {"2201", "0", "SMITH JOHN"},
                  {"2202", "0", "SMITH JOHN"}}},
        StayCase{"MoveIntoRoomWithoutLine",
                 {{"ROOM_MOVED", "102", {}, "105"}},
                 {{"2102", "1", "SMITH JOHN"}}},
        StayCase{
            "InHouseWithoutMove", {{"CHECK_IN", "101", "DOE JANE"}}, {{"2101", "0", "DOE JANE"}}},
        // Another guest still in the room keeps its line open.
        StayCase{"CheckOutWhileAnotherGuestStays",
                 {{"CHECK_IN", "102", "DOE JANE"}, {"CHECK_OUT", "102", "SMITH JOHN"}},
                 {}},
        StayCase{"MoveOutOfSharedRoom",
                 {{"CHECK_IN", "102", "DOE JANE"}, {"ROOM_MOVED", "102", "SMITH JOHN", "101"}},
                 {{"2101", "0", "SMITH JOHN"}}},
        StayCase{"Reserved", {{"RESERVE", "104", "DOE JANE"}}, {}},
        StayCase{"UnknownStay", {}, {}}),
    [](const testing::TestParamInfo<StayCase>& info) { return info.param.label; });

using RoomStatusTest = FrontDbTest;

TEST_F(RoomStatusTest, LineStatesAreRecordedInOrderAndRollBack) {
    fbdb::Transaction cycle(db_, CycleOptions());
    fbdb::Statement set(db_, cycle,
                        "EXECUTE PROCEDURE EAI_ROOM_SET_STATUS (?EAI_IFC, ?ID_ROOM, ?STATUS_CODE, "
                        "?REASON_CODE, ?NOTE)");
    set.param("EAI_IFC").setString(kModule);
    set.param("NOTE").setNull();
    auto record = [&](int room, const char* status, const char* reason) {
        set.param("ID_ROOM").setInt(room);
        set.param("STATUS_CODE").setString(status);
        set.param("REASON_CODE").setString(reason);
        set.execute();
    };
    const int room = RoomId(db_, "104");
    cycle.start();
    record(room, "OPEN", "CHECK_IN");
    record(room, "CLOSE", "ROOM_MOVED");
    cycle.commit();
    cycle.start();
    record(room, "OPEN", "PBX.MANUAL_OPEN");
    cycle.rollback();

    cycle.start();
    try {
        record(0, "OPEN", "CHECK_IN");
        ADD_FAILURE() << "recorded for no room";
    } catch (const fbdb::Error& e) {
        EXPECT_TRUE(e.hasCode(isc_except)) << e.what();
        EXPECT_NE(std::string(e.what()).find("Room 0 does not exist"), std::string::npos)
            << e.what();
    }
    cycle.commit();

    EXPECT_EQ(Select(db_, "select ID_ROOM, IFC_MODULE_NAME, STATUS_CODE, REASON_CODE, NOTE "
                          "from ROOM_LINE_LOG order by ID"),
              (Rows{{std::to_string(room), kModule, "OPEN", "CHECK_IN", "<null>"},
                    {std::to_string(room), kModule, "CLOSE", "ROOM_MOVED", "<null>"}}));
    EXPECT_EQ(
        Select(db_, "select LINE_STATUS, LINE_REASON from ROOM_STATE_V where ROOM_NAME = '104'"),
        (Rows{{"CLOSE", "ROOM_MOVED"}}));
}

TEST_F(RoomStatusTest, HousekeepingChangesAndRefusals) {
    test_db::Execute(db_, "update ROOMS set HK_REFUSE_CODE = -1 where ROOM_NAME = '103'");
    test_db::Execute(db_, "update ROOMS set HK_REFUSE_CODE = -7, HK_REFUSE_TEXT = 'Out of order' "
                          "where ROOM_NAME = '104'");
    struct Row {
        const char* room;
        const char* operation;
        std::string tag;
        int code;
        const char* text;
    };
    const std::string note = "Minibar \xEF\xF3\xF1\xF2"; // 8-bit bytes
    const Row rows[] = {
        {"101", "setdirty", "", 0, ""},
        {"101", "setclean", "", 0, ""},
        {"101", "settext", note, 0, ""},
        {"999", "setclean", "", -1, "Room 999 not found"},
        {"101", "paint", "", -2, "Unknown operation paint"},
        {"103", "setclean", "", -1, ""},
        {"104", "settext", "x", -7, "Out of order"},
    };
    fbdb::Transaction tr(db_);
    fbdb::Statement set(db_, tr,
                        "EXECUTE PROCEDURE EAI_ROOM_STATUS_SET (?ROOM_NAME, ?OPERATION, ?TAG)");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.room) + " " + row.operation);
        tr.start();
        set.param("ROOM_NAME").setString(row.room);
        set.param("OPERATION").setString(row.operation);
        set.param("TAG").setString(row.tag);
        set.execute();
        EXPECT_EQ(set.field("ERR_CODE").asInt(), row.code);
        EXPECT_EQ(set.field("ERR_TEXT").asString(), row.text);
        EXPECT_FALSE(set.field("ERR_TEXT").isNull());
        tr.commit();
    }
    EXPECT_EQ(
        Select(db_, "select ROOM_NAME, HK_STATUS, HK_TEXT from ROOMS "
                    "where ROOM_NAME in ('101', '103', '104') order by ROOM_NAME"),
        (Rows{{"101", "CLEAN", note}, {"103", "<null>", "<null>"}, {"104", "<null>", "<null>"}}));
    EXPECT_EQ(Select(db_, "select OPERATION, TAG from ROOM_STATUS_LOG order by ID"),
              (Rows{{"setdirty", ""}, {"setclean", ""}, {"settext", note}}));
}

// The adapter's room-state writes can come while the manager's cycle holds
// its transaction open (both run on one thread): they must never meet a row
// the cycle has changed, or the adapter would wait for ever.
TEST_F(RoomStatusTest, HousekeepingWritesDoNotConflictWithAnOpenCycle) {
    const Logged moved = Queue(db_, {"ROOM_MOVED", "102", {}, "101"});

    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    ASSERT_EQ(Get(cycle), std::vector<int>{moved.event});
    fbdb::Statement lines(db_, cycle, "select * from EAI_RESROOM_STATUS(:ID_RESERV_DETAIL)");
    lines.param("ID_RESERV_DETAIL").setInt(moved.stay);
    lines.execute();
    while (lines.fetch()) {
    }
    fbdb::Statement state(db_, cycle,
                          "EXECUTE PROCEDURE EAI_ROOM_SET_STATUS (?EAI_IFC, ?ID_ROOM, "
                          "?STATUS_CODE, ?REASON_CODE, ?NOTE)");
    state.param("EAI_IFC").setString(kModule);
    state.param("ID_ROOM").setInt(RoomId(db_, "101"));
    state.param("STATUS_CODE").setString("OPEN");
    state.param("REASON_CODE").setString("ROOM_MOVED");
    state.execute();
    Process(cycle, moved.event, "moved");

    // Nowait, so a conflict would show as an error here rather than a hang.
    fbdb::Connection adapter;
    scratch_.connect(adapter, 1);
    fbdb::Transaction write(adapter, fbdb::TransactionOptions::FromWords({"write", "nowait"}));
    fbdb::Statement set(adapter, write,
                        "EXECUTE PROCEDURE EAI_ROOM_STATUS_SET (?ROOM_NAME, ?OPERATION, ?TAG)");
    for (const char* room : {"101", "102"}) {
        SCOPED_TRACE(room);
        write.start();
        set.param("ROOM_NAME").setString(room);
        set.param("OPERATION").setString("setdirty");
        set.param("TAG").setString("");
        EXPECT_NO_THROW(set.execute());
        write.commit();
    }
    cycle.commit();
}

} // namespace
} // namespace front_db
