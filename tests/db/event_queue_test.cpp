#include "front_db.h"

#include "fbdb/error.h"

#include <ibase.h>

namespace front_db {
namespace {

using test_db::Rows;
using test_db::Select;

using EventQueueTest = FrontDbTest;

Rows QueueRow(fbdb::Connection& db, int event, const std::string& module = kModule) {
    return Select(db, "select QUEUE_STATE, TAKE_COUNT, PUSHBACK_COUNT from EAI_EVENTQ where "
                      "IFC_MODULE_NAME = '" +
                          module + "' and ID_EVENT = " + std::to_string(event));
}

TEST_F(EventQueueTest, GetHandsOutWaitingEventsAndMarksThemInTheCallersTransaction) {
    const int checkIn = Queue(db_, {"CHECK_IN", "101", kIvanov}).event;
    const int checkOut = Queue(db_, {"CHECK_OUT", "102"}).event;
    const int reserve = Queue(db_, {"RESERVE", "104", "DOE JANE"}).event; // not in the list
    const int other = Queue(db_, {"PBX.MANUAL_OPEN", "105", {}, {}, "mod_other"}).event;

    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    EXPECT_EQ(Get(cycle), (std::vector<int>{checkIn, checkOut}));
    EXPECT_EQ(Get(cycle), std::vector<int>{}) << "taken events are not handed out twice";

    // A second reader of the same module meets the marks as a lock conflict
    // at once instead of processing the same events.
    fbdb::Connection second;
    scratch_.connect(second, 1);
    fbdb::Transaction secondCycle(second, CycleOptions());
    secondCycle.start();
    try {
        Get(secondCycle);
        ADD_FAILURE() << "the same events were handed out twice";
    } catch (const fbdb::Error& e) {
        EXPECT_TRUE(e.hasCode(isc_update_conflict) || e.hasCode(isc_deadlock)) << e.what();
    }
    secondCycle.rollback();

    cycle.rollback();
    cycle.start();
    EXPECT_EQ(Get(cycle), (std::vector<int>{checkIn, checkOut})) << "rollback brings them back";
    cycle.commit();

    cycle.start();
    EXPECT_EQ(Get(cycle), std::vector<int>{});
    EXPECT_EQ(Get(cycle, "mod_other"), std::vector<int>{other});
    cycle.commit();
    EXPECT_EQ(QueueRow(db_, checkIn), (Rows{{"1", "1", "0"}}));
    EXPECT_EQ(QueueRow(db_, reserve), (Rows{{"0", "0", "0"}}));
}

// Codes are matched without regard to case or surrounding blanks, in the
// stored code and in the list alike; the module judges the code itself.
TEST_F(EventQueueTest, GetMatchesCodesWithoutCaseOrBlanks) {
    const int lower = Queue(db_, {"check_in", "101"}).event;
    const int padded = Queue(db_, {"CHECK_IN   ", "104", "DOE JANE"}).event;
    const int moved = Queue(db_, {" ROOM_MOVED", "102", {}, "105"}).event;
    const int unlisted = Queue(db_, {"CHECK_INX", "101"}).event;

    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    EXPECT_EQ(Get(cycle, kModule, " Check_In , room_moved"),
              (std::vector<int>{lower, padded, moved}));
    cycle.commit();
    EXPECT_EQ(QueueRow(db_, unlisted), (Rows{{"0", "0", "0"}}));
    EXPECT_EQ(Select(db_, "select '[' || ACTION_CODE || ']' from SYSTEM_LOG_EVENT where "
                          "ID_SYSTEM_LOG = " +
                              std::to_string(padded)),
              (Rows{{"[CHECK_IN   ]"}}))
        << "the code is logged as written";
}

TEST_F(EventQueueTest, PushbackMakesATakenEventWaitAgain) {
    const int first = Queue(db_, {"CHECK_IN", "101", "A"}).event;
    const int second = Queue(db_, {"CHECK_IN", "104", "B"}).event;

    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    ASSERT_EQ(Get(cycle), (std::vector<int>{first, second}));
    Pushback(cycle, first);
    Pushback(cycle, first); // a room with two lines can fail twice
    cycle.commit();
    EXPECT_EQ(QueueRow(db_, first), (Rows{{"0", "1", "2"}}));

    cycle.start();
    EXPECT_EQ(Get(cycle), std::vector<int>{first});
    for (const auto& [event, module] : {std::pair<int, std::string>{12345, kModule},
                                        std::pair<int, std::string>{second, "mod_other"}}) {
        SCOPED_TRACE(module + " " + std::to_string(event));
        try {
            Pushback(cycle, event, module);
            ADD_FAILURE() << "pushed back";
        } catch (const fbdb::Error& e) {
            EXPECT_TRUE(e.hasCode(isc_except)) << e.what();
            EXPECT_NE(std::string(e.what()).find("Event " + std::to_string(event) +
                                                 " is not queued for " + module),
                      std::string::npos)
                << e.what();
        }
    }
    cycle.commit();
}

TEST_F(EventQueueTest, ProcessStoresTheTextWithTheEvent) {
    const int event = Queue(db_, {"CHECK_IN", "101", kIvanov}).event;
    std::string longText;
    while (longText.size() < 70000)
        longText += kIvanov + ": Line 2101 refused by the exchange\r\n";

    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    ASSERT_EQ(Get(cycle), std::vector<int>{event});
    Process(cycle, event, "rolled back");
    cycle.rollback();
    EXPECT_EQ(Select(db_, "select PROCESS_INFO from EAI_EVENTQ"), (Rows{{"<null>"}}));

    cycle.start();
    Get(cycle);
    Process(cycle, event, "first text");
    Process(cycle, event, longText); // the last text wins
    EXPECT_THROW(Process(cycle, 12345, "x"), fbdb::Error);
    cycle.commit();
    const Rows stored = Select(db_, "select PROCESS_INFO from EAI_EVENTQ");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0][0] == longText);
}

// Clearing at start-up keeps every event that still has to be carried out:
// only handled events of the listed types go.
TEST_F(EventQueueTest, ClearRemovesHandledEventsOnly) {
    const int handled = Queue(db_, {"CHECK_IN", "101", "A"}).event;
    const int pushedBack = Queue(db_, {"CHECK_IN", "104", "B"}).event;
    const int waiting = Queue(db_, {"PBX.MANUAL_OPEN", "105"}).event;
    const int unlisted = Queue(db_, {"RESERVE", "103", "C"}).event;
    const int otherModule = Queue(db_, {"PBX.MANUAL_CLOSE", "105", {}, {}, "mod_other"}).event;

    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    ASSERT_EQ(Get(cycle, kModule, "CHECK_IN,RESERVE"),
              (std::vector<int>{handled, pushedBack, unlisted}));
    Pushback(cycle, pushedBack);
    Process(cycle, pushedBack, "busy");
    ASSERT_EQ(Get(cycle, "mod_other"), std::vector<int>{otherModule});
    cycle.commit();

    // An event being processed by an open cycle reads as waiting to others:
    // the clear leaves it alone and does not conflict with it.
    fbdb::Connection second;
    scratch_.connect(second, 1);
    fbdb::Transaction inFlight(second, CycleOptions());
    inFlight.start();
    ASSERT_EQ(Get(inFlight, kModule, "PBX.MANUAL_OPEN"), std::vector<int>{waiting});

    cycle.start();
    Clear(cycle);
    cycle.commit();
    inFlight.commit();

    EXPECT_EQ(Select(db_, "select IFC_MODULE_NAME, ID_EVENT, QUEUE_STATE, PUSHBACK_COUNT, "
                          "PROCESS_INFO from EAI_EVENTQ order by ID_EVENTQ"),
              (Rows{{kModule, std::to_string(pushedBack), "0", "1", "busy"},
                    {kModule, std::to_string(waiting), "1", "0", "<null>"},
                    {kModule, std::to_string(unlisted), "1", "0", "<null>"},
                    {"mod_other", std::to_string(otherModule), "1", "0", "<null>"}}));
}

// The query the event cycle runs, over one event of each shape.
TEST_F(EventQueueTest, CycleQueryJoinsRoomLineAndGuest) {
    const Logged checkIn = Queue(db_, {"CHECK_IN", "101", kIvanov});
    const Logged suite = Queue(db_, {"CHECK_IN", "201", "BROWN ANN"});
    const Logged moved = Queue(db_, {"ROOM_MOVED", "102", "SMITH JOHN", "104"});
    const Logged manual = Queue(db_, {"PBX.MANUAL_CLOSE", "103"});
    const Logged noLine = Queue(db_, {"CHECK_IN", "105", "GREY TOM"});
    const Logged renamed = Queue(db_, {"GUEST_IDENT_CHNG", "103", kPetrova, "PETROVA A."});

    fbdb::Transaction cycle(db_, CycleOptions());
    cycle.start();
    fbdb::Statement query(
        db_, cycle,
        "select eg.ID_EVENT, sle.ACTION_CODE, r.ID_ROOM, plc.LINE,\n"
        "       p.PROFILE_NAME, rd.CHECK_STATUS, rd.ID_RESERV_DETAIL\n"
        "from   EAI_EVENTQ_GET(:IFC_MODULE_NAME, :EVENT_LIST) eg\n"
        "       join SYSTEM_LOG_EVENT sle on sle.ID_SYSTEM_LOG = eg.ID_EVENT\n"
        "       left outer join SYSTEM_LOG_RESERV slr on slr.ID_SYSTEM_LOG = "
        "sle.ID_SYSTEM_LOG\n"
        "       left outer join RESERV_DETAIL rd on rd.ID_RESERV_DETAIL = "
        "slr.ID_RESERV_DETAIL\n"
        "       left outer join PROFILE p on p.ID_PROFILE = rd.ID_PERSON_PROFILE\n"
        "       left outer join ROOMS r on r.ID_ROOM = coalesce(rd.ID_ROOM, "
        "sle.LOG_OBJECT_ID)\n"
        "       left outer join PHONE_LINE_CONVERT plc on plc.ROOM_NAME = "
        "r.ROOM_NAME");
    query.param("IFC_MODULE_NAME").setString(kModule);
    query.param("EVENT_LIST").setString(kEventList);
    query.execute();
    Rows rows;
    while (query.fetch()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < query.fieldCount(); ++i)
            row.push_back(query.field(i).isNull() ? "<null>" : query.field(i).asString());
        rows.push_back(row);
    }
    cycle.commit();

    auto room = [&](const char* name) { return std::to_string(RoomId(db_, name)); };
    auto id = [](int value) { return std::to_string(value); };
    EXPECT_EQ(
        rows,
        (Rows{
            {id(checkIn.event), "CHECK_IN", room("101"), "2101", kIvanov, "0", id(checkIn.stay)},
            {id(suite.event), "CHECK_IN", room("201"), "2201", "BROWN ANN", "0", id(suite.stay)},
            {id(suite.event), "CHECK_IN", room("201"), "2202", "BROWN ANN", "0", id(suite.stay)},
            {id(moved.event), "ROOM_MOVED", room("104"), "2104", "SMITH JOHN", "0", id(moved.stay)},
            {id(manual.event), "PBX.MANUAL_CLOSE", room("103"), "2103", "<null>", "<null>",
             "<null>"},
            {id(noLine.event), "CHECK_IN", room("105"), "<null>", "GREY TOM", "0", id(noLine.stay)},
            {id(renamed.event), "GUEST_IDENT_CHNG", room("103"), "2103", "PETROVA A.", "2",
             id(renamed.stay)}}));
}

} // namespace
} // namespace front_db
