#include "front_db.h"

#include "fbdb/error.h"

#include <ibase.h>

namespace front_db {
namespace {

using test_db::Rows;
using test_db::Select;

using FrontDeskTest = FrontDbTest;

TEST_F(FrontDeskTest, RefusedActionsLogNothing) {
    struct Row {
        Action action;
        const char* text;
    };
    const Row rows[] = {
        {{"CHECK_IN", "999", "A"}, "Unknown room 999"},
        {{"CHECK_IN", "101"}, "CHECK_IN needs a guest name"},
        {{"CHECK_OUT", std::nullopt}, "CHECK_OUT needs a room"},
        {{"CHECK_OUT", "101"}, "CHECK_OUT: no matching guest in room 101"},
        {{"CHECK_OUT", "102", "NOT SMITH"}, "CHECK_OUT: no matching guest in room 102"},
        {{"ROOM_MOVED", "102", {}, "999"}, "ROOM_MOVED: unknown new room 999"},
        {{"GUEST_IDENT_CHNG", "102"}, "GUEST_IDENT_CHNG needs the new name"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        try {
            Queue(db_, row.action);
            ADD_FAILURE() << "carried out";
        } catch (const fbdb::Error& e) {
            EXPECT_TRUE(e.hasCode(isc_except)) << e.what();
            EXPECT_NE(std::string(e.what()).find(row.text), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(Select(db_, "select count(*) from SYSTEM_LOG_EVENT"), (Rows{{"0"}}));
    EXPECT_EQ(Select(db_, "select ROOM_NAME from RESERV_DETAIL rd join ROOMS r on r.ID_ROOM = "
                          "rd.ID_ROOM where rd.CHECK_STATUS = 0"),
              (Rows{{"102"}}));
}

// A reserved guest who arrives takes up the reservation; the name stays the
// Windows-1251 bytes given, and changes of identity reach the same stay.
TEST_F(FrontDeskTest, ArrivalOfAReservedGuestAndChangeOfName) {
    const std::string reserved =
        Select(db_, "select ID_RESERV_DETAIL from RESERV_DETAIL where CHECK_STATUS = 2")
            .at(0)
            .at(0);
    const Logged arrival = Queue(db_, {"CHECK_IN", "103", kPetrova});
    EXPECT_EQ(std::to_string(arrival.stay), reserved);
    const Logged renamed = Queue(db_, {"GUEST_IDENT_CHNG", "103", {}, kIvanov});
    EXPECT_EQ(renamed.stay, arrival.stay);

    EXPECT_EQ(
        Select(db_, "select rd.CHECK_STATUS, p.PROFILE_NAME, octet_length(p.PROFILE_NAME) "
                    "from RESERV_DETAIL rd join PROFILE p on p.ID_PROFILE = rd.ID_PERSON_PROFILE "
                    "where rd.ID_RESERV_DETAIL = " +
                        reserved),
        (Rows{{"0", kIvanov, std::to_string(kIvanov.size())}}));
    EXPECT_EQ(Select(db_, "select count(*) from RESERV_DETAIL"), (Rows{{"2"}}));
}

TEST_F(FrontDeskTest, EventsAreQueuedForTheNamedModuleOnly) {
    const Logged queued = Queue(db_, {"PBX.MANUAL_OPEN", "101"});
    const Logged other = Queue(db_, {"PBX.MANUAL_OPEN", "101", {}, {}, "mod_other"});
    const Logged none = Queue(db_, {"PBX.MANUAL_OPEN", "101", {}, {}, ""});
    EXPECT_EQ(queued.stay, 0);
    EXPECT_EQ(Select(db_, "select ID_EVENT, IFC_MODULE_NAME from EAI_EVENTQ order by ID_EVENT"),
              (Rows{{std::to_string(queued.event), kModule},
                    {std::to_string(other.event), "mod_other"}}));
    EXPECT_EQ(Select(db_, "select count(*) from SYSTEM_LOG_EVENT where ID_SYSTEM_LOG = " +
                              std::to_string(none.event)),
              (Rows{{"1"}}));
}

} // namespace
} // namespace front_db
