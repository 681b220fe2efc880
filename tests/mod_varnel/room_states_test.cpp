// Room states reported by the HL driver simulator, through the link library's
// queue into a real front database on the local Firebird server.
#include "adapter_fixture.h"

#include "frame/pbxAdapter_int.h"
#include "test_db/scratch_database.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using adapter_test::AdapterTest;
using adapter_test::RoomStatus;
using adapter_test::ScriptedLibrary;
using rtl::LogLevel;
using test_db::Rows;

const char* const Source = "TvarnelDM";

class RoomStateTest : public AdapterTest {
protected:
    RoomStateTest() {
        gate.closed = true;
        section->set("db.name", database.name());
        section->set("db.user_name", test_db::ServerLogin().user);
        section->set("db.password", test_db::ServerLogin().password);
        database.connect(admin);
        // Each housekeeping change also records the transaction that made it.
        test_db::Execute(admin, "alter table ROOM_STATUS_LOG add TX integer");
        test_db::Execute(admin, "create trigger ROOM_STATUS_LOG_TX for ROOM_STATUS_LOG "
                                "before insert as begin new.TX = current_transaction; end");
    }
    ~RoomStateTest() override { destroyModule(); }

    void connectLink() {
        rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("2101", "Smith");
        std::string info;
        ASSERT_TRUE(dm().openLine(data.get(), info)) << info;
    }
    void queueRoomStatus(const std::string& line, const std::string& status,
                         const std::string& text) {
        const size_t before = gate.count(RoomStatus);
        sendRoomStatus(line, status, text);
        ASSERT_TRUE(waitForNotification(RoomStatus, before + 1));
    }
    // Room, housekeeping state and text.
    Rows rooms(const std::string& names) {
        return test_db::Select(admin,
                               "select ROOM_NAME, coalesce(HK_STATUS, '<null>'), "
                               "coalesce(HK_TEXT, '<null>') from ROOMS where ROOM_NAME in (" +
                                   names + ") order by ROOM_NAME");
    }
    // Room, operation, tag and transaction of every change, oldest first.
    Rows changes() {
        return test_db::Select(admin, "select r.ROOM_NAME, l.OPERATION, coalesce(l.TAG, '<null>'), "
                                      "l.TX from ROOM_STATUS_LOG l join ROOMS r on r.ID_ROOM = "
                                      "l.ID_ROOM order by l.ID");
    }
    std::vector<std::string> errors() const { return log.texts(LogLevel::Error, Source); }

    test_db::ScratchDatabase database;
    fbdb::Connection admin;
};

TEST_F(RoomStateTest, ReportsChangeTheRoomsOfTheirLinesAndTheQueueMovesOnAfterRefusals) {
    test_db::Execute(admin, "update ROOMS set HK_REFUSE_CODE = -7, HK_REFUSE_TEXT = 'Out of order' "
                            "where ROOM_NAME = '103'");
    test_db::Execute(admin, "update ROOMS set HK_REFUSE_CODE = -7 where ROOM_NAME = '104'");
    connectLink();
    queueRoomStatus("2103", "1", "");    // refused with a text
    queueRoomStatus("2101", "1", "");    // clean, no text
    queueRoomStatus("9999", "0", "X");   // a line the database does not know
    queueRoomStatus("2104", "0", "");    // refused without a text
    queueRoomStatus("2102", "0", "ABC"); // dirty with a text
    dm().changeRoomStates();

    EXPECT_EQ(rooms("'101', '102', '103', '104'"), (Rows{{"101", "CLEAN", "<null>"},
                                                         {"102", "DIRTY", "ABC"},
                                                         {"103", "<null>", "<null>"},
                                                         {"104", "<null>", "<null>"}}));
    const Rows written = changes();
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0], (std::vector<std::string>{"101", "setclean", "", written[0][3]}));
    EXPECT_EQ(written[1], (std::vector<std::string>{"102", "setdirty", "", written[1][3]}));
    EXPECT_EQ(written[2], (std::vector<std::string>{"102", "settext", "ABC", written[2][3]}));
    // The state and the text are committed separately.
    EXPECT_NE(written[1][3], written[2][3]);

    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "Room state chang error: Out of order (-7)",
                            "Room state chang error: Execution error on EAI_ROOM_STATUS_SET (-7)",
                        }))
        << logDump();
    EXPECT_TRUE(log.contains(LogLevel::Debug, Source,
                             "Exec procedure EAI_ROOM_STATUS_SET(102, settext, ABC))"));
    EXPECT_TRUE(log.contains(LogLevel::Debug, Source, "Changing state for line 9999"));

    // Every report has left the queue.
    log.clear();
    dm().changeRoomStates();
    EXPECT_FALSE(log.containsText("Changing state for line")) << logDump();
}

TEST_F(RoomStateTest, ARefusedTextLeavesTheCommittedStateInPlace) {
    test_db::Execute(admin, "create exception TEST_REFUSED 'text refused by the test'");
    test_db::Execute(admin, "create trigger ROOM_STATUS_LOG_REFUSE for ROOM_STATUS_LOG "
                            "before insert position 10 as begin "
                            "if (new.OPERATION = 'settext') then exception TEST_REFUSED; end");
    connectLink();
    queueRoomStatus("2102", "0", "BAD");
    dm().changeRoomStates();

    EXPECT_EQ(rooms("'102'"), (Rows{{"102", "DIRTY", "<null>"}}));
    ASSERT_EQ(errors().size(), 1u) << logDump();
    EXPECT_NE(errors()[0].find("Room state chang error: "), std::string::npos);
    EXPECT_NE(errors()[0].find("text refused by the test"), std::string::npos) << errors()[0];
}

TEST_F(RoomStateTest, AnUnreadableReportIsDroppedAndLaterReportsStillArrive) {
    connectLink();
    queueRoomStatus("2102", "x", "ABC");
    queueRoomStatus("2101", "1", "");
    dm().changeRoomStates();

    EXPECT_EQ(rooms("'101', '102'"),
              (Rows{{"101", "CLEAN", "<null>"}, {"102", "<null>", "<null>"}}));
    ASSERT_EQ(errors().size(), 1u) << logDump();
    EXPECT_TRUE(std::regex_match(
        errors()[0],
        std::regex(R"(Room state \d+ cannot be read and is dropped: \d+\|2102\|x\|ABC\|)"
                   R"(\d{4}\.\d\d\.\d\d \d\d:\d\d\|: 'x' is not a valid integer value)")))
        << errors()[0];
}

TEST_F(RoomStateTest, EveryPassTestsTheConnectionAndConnectsOnlyWhenClosed) {
    connectLink();
    dm().changeRoomStates();
    dm().changeRoomStates();
    const auto lines = log.texts(LogLevel::Debug, Source);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Connectign to DB ..."), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Check connection to DB"), 2);
    EXPECT_TRUE(errors().empty()) << logDump();
}

TEST_F(RoomStateTest, WithoutTheDatabaseTheReportsWaitInTheQueue) {
    section->set("db.password", "wrong password");
    connectLink();
    queueRoomStatus("2101", "1", "");
    dm().changeRoomStates();
    ASSERT_EQ(errors().size(), 1u) << logDump();
    EXPECT_EQ(errors()[0].rfind("Room state chang error.: ", 0), 0u) << errors()[0];
    EXPECT_FALSE(log.containsText("Changing state for line")) << logDump();

    section->set("db.password", test_db::ServerLogin().password);
    dm().changeRoomStates();
    EXPECT_EQ(rooms("'101'"), (Rows{{"101", "CLEAN", "<null>"}}));
}

TEST_F(RoomStateTest, AReportThatWillNotLeaveTheQueueEndsThePass) {
    section->set("varnel.path", ScriptedLibrary::folder());
    ScriptedLibrary script;
    script.setRecord(7, "2101|1||2024.02.01 09:05");
    script.setDeleteResult(-1);
    dm().changeRoomStates();

    EXPECT_EQ(rooms("'101'"), (Rows{{"101", "CLEAN", "<null>"}}));
    EXPECT_EQ(changes().size(), 1u);
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "Room state 7 is still queued; the pass stops until the next"}))
        << logDump();
}

} // namespace
