#include "fbdb/connection.h"
#include "fbdb/error.h"
#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "test_db/scratch_database.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <string>

namespace {

using test_db::Rows;
using test_db::Select;

const fbdb::TransactionOptions kCycle = fbdb::TransactionOptions::FromWords(
    {"write", "isc_tpb_nowait", "rec_version", "read_committed"});

// Petrova Anna in Windows-1251, as the demo data stores her.
const std::string kPetrova = "\xCF\xE5\xF2\xF0\xEE\xE2\xE0 \xC0\xED\xED\xE0";

class StatementTest : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        scratch_.connect(db_, GetParam());
        tr_.start();
    }

    test_db::ScratchDatabase scratch_;
    fbdb::Connection db_;
    fbdb::Transaction tr_{db_, kCycle};
};

// The statement shapes the modules use, in both dialects they may be set to.
TEST_P(StatementTest, QueryProceduresAndNamedParameters) {
    fbdb::Statement lookup(db_, tr_,
                           "select plc.room_name\n  from phone_line_convert plc\n"
                           "  where (plc.line = :line)");
    lookup.param("LINE").setString("2202");
    lookup.execute();
    ASSERT_TRUE(lookup.isOpen());
    ASSERT_TRUE(lookup.fetch());
    EXPECT_EQ(lookup.field("ROOM_NAME").asString(), "201");
    EXPECT_FALSE(lookup.fetch());
    EXPECT_FALSE(lookup.isOpen());

    // A selectable procedure in a join-free select.
    fbdb::Statement rooms(db_, tr_,
                          "select rs.LINE_NAME, rs.IS_FREE, rs.PROFILE_NAME\n"
                          "  from EAI_RESROOM_STATUS(:ID_RESERV_DETAIL) rs");
    const std::string stay =
        Select(db_, "select ID_RESERV_DETAIL from RESERV_DETAIL where CHECK_STATUS = 0")
            .at(0)
            .at(0);
    rooms.param("ID_RESERV_DETAIL").setInt(std::stoll(stay));
    rooms.execute();
    ASSERT_TRUE(rooms.fetch());
    EXPECT_EQ(rooms.field("LINE_NAME").asString(), "2102");
    EXPECT_EQ(rooms.field("IS_FREE").asInt(), 0);
    EXPECT_EQ(rooms.field("profile_name").asString(), "SMITH JOHN");
    EXPECT_FALSE(rooms.fetch());

    // An executable procedure with output parameters; the inputs read back.
    fbdb::Statement set(db_, tr_,
                        "EXECUTE PROCEDURE EAI_ROOM_STATUS_SET (?ROOM_NAME, ?OPERATION, ?TAG)");
    set.param("ROOM_NAME").setString("999");
    set.param("OPERATION").setString("setclean");
    set.param("TAG").setString("");
    set.execute();
    EXPECT_FALSE(set.isOpen());
    EXPECT_EQ(set.field("ERR_CODE").asInt(), -1);
    EXPECT_EQ(set.field("ERR_TEXT").asString(), "Room 999 not found");
    EXPECT_EQ(set.param("ROOM_NAME").asString(), "999");

    // Values stay set: changing one parameter runs the rest unchanged.
    set.param("ROOM_NAME").setString("104");
    set.execute();
    EXPECT_EQ(set.field("ERR_CODE").asInt(), 0);
    EXPECT_EQ(set.field("ERR_TEXT").asString(), "");
    tr_.commit();
    EXPECT_EQ(Select(db_, "select HK_STATUS from ROOMS where ROOM_NAME = '104'"),
              (Rows{{"CLEAN"}}));
}

TEST_P(StatementTest, RepeatedNameBindsEveryPosition) {
    fbdb::Statement st(db_, tr_,
                       "select count(*) from PHONE_LINE_CONVERT where LINE = :X or ROOM_NAME = :x");
    EXPECT_EQ(st.paramCount(), 1u);
    st.param("X").setString("201");
    st.execute();
    ASSERT_TRUE(st.fetch());
    EXPECT_EQ(st.field(0).asInt(), 2);
}

// NULL goes out only when asked for (or never set) and reads as 0 or empty.
TEST_P(StatementTest, NullsInAndOut) {
    fbdb::Statement log(db_, tr_,
                        "EXECUTE PROCEDURE EAI_ROOM_SET_STATUS (?EAI_IFC, ?ID_ROOM, ?STATUS_CODE, "
                        "?REASON_CODE, ?NOTE)");
    const std::string room = Select(db_, "select ID_ROOM from ROOMS where ROOM_NAME = '101'")[0][0];
    log.param("EAI_IFC").setString("mod_quorvin");
    log.param("ID_ROOM").setInt(std::stoll(room));
    log.param("STATUS_CODE").setString("OPEN");
    log.param("NOTE").setNull(); // REASON_CODE never set
    EXPECT_TRUE(log.param("REASON_CODE").isNull());
    log.execute();

    fbdb::Statement read(db_, tr_,
                         "select NOTE, REASON_CODE, ID_ROOM, STATUS_CODE from ROOM_LINE_LOG");
    read.execute();
    ASSERT_TRUE(read.fetch());
    for (const char* name : {"NOTE", "REASON_CODE"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(read.field(name).isNull());
        EXPECT_EQ(read.field(name).asString(), "");
        EXPECT_EQ(read.field(name).asInt(), 0);
    }
    EXPECT_FALSE(read.field("ID_ROOM").isNull());
    EXPECT_EQ(read.field("ID_ROOM").asString(), room);
    EXPECT_EQ(read.field("STATUS_CODE").asString(), "OPEN");
}

// Every byte but 0 through a parameter into a table and back, and the demo
// data's Cyrillic guest as it was stored.
TEST_P(StatementTest, EightBitTextsRoundTripByteForByte) {
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes.push_back(static_cast<char>(b));
    fbdb::Statement write(db_, tr_, "update ROOMS set HK_TEXT = :T where ROOM_NAME = '101'");
    write.param("T").setString(bytes);
    write.execute();
    fbdb::Statement read(
        db_, tr_, "select HK_TEXT, octet_length(HK_TEXT) from ROOMS where ROOM_NAME = '101'");
    read.execute();
    ASSERT_TRUE(read.fetch());
    EXPECT_EQ(read.field(0).asString(), bytes);
    EXPECT_EQ(read.field(1).asInt(), 255);

    fbdb::Statement guest(db_, tr_, "select count(*) from PROFILE where PROFILE_NAME = :N");
    guest.param("N").setString(kPetrova);
    guest.execute();
    ASSERT_TRUE(guest.fetch());
    EXPECT_EQ(guest.field(0).asInt(), 1);
}

TEST_P(StatementTest, TextBlobsWriteAndRead) {
    test_db::Execute(db_, "create table NOTES (ID integer, BODY blob sub_type text)");
    // Longer than a segment and a VARCHAR, with 8-bit bytes throughout.
    std::string big;
    while (big.size() < 100000)
        big += kPetrova + " \x01\xFF line " + std::to_string(big.size()) + "\n";
    struct Row {
        int id;
        std::string text;
        bool asBlob;
    };
    const Row rows[] = {{1, big, true}, {2, "short text", false}, {3, "", true}};
    fbdb::Statement insert(db_, tr_, "insert into NOTES (ID, BODY) values (:ID, :BODY)");
    for (const Row& row : rows) {
        insert.param("ID").setInt(row.id);
        if (row.asBlob)
            insert.param("BODY").setBlobText(row.text);
        else
            insert.param("BODY").setString(row.text);
        insert.execute();
    }
    insert.param("ID").setInt(4);
    insert.param("BODY").setNull();
    insert.execute();
    tr_.commit();

    tr_.start();
    fbdb::Statement read(db_, tr_, "select ID, BODY, octet_length(BODY) from NOTES order by ID");
    read.execute();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        ASSERT_TRUE(read.fetch());
        EXPECT_EQ(read.field("ID").asInt(), row.id);
        EXPECT_FALSE(read.field("BODY").isNull());
        EXPECT_TRUE(read.field("BODY").asString() == row.text);
        EXPECT_EQ(read.field(2).asInt64(), static_cast<std::int64_t>(row.text.size()));
    }
    ASSERT_TRUE(read.fetch());
    EXPECT_TRUE(read.field("BODY").isNull());

    // A text too long for a VARCHAR parameter is refused with a hint.
    fbdb::Statement tooLong(db_, tr_, "insert into NOTES (ID, BODY) values (5, :BODY)");
    tooLong.param("BODY").setString(big);
    EXPECT_THROW(tooLong.execute(), fbdb::Error);
}

INSTANTIATE_TEST_SUITE_P(Dialects, StatementTest, testing::Values(1, 3),
                         [](const testing::TestParamInfo<int>& info) {
                             return "Dialect" + std::to_string(info.param);
                         });

class StatementErrorTest : public testing::Test {
protected:
    void SetUp() override { scratch_.connect(db_); }

    test_db::ScratchDatabase scratch_;
    fbdb::Connection db_;
    fbdb::Transaction tr_{db_, kCycle};
};

TEST_F(StatementErrorTest, NamesAndTransactionState) {
    fbdb::Statement st(db_, tr_, "select ROOM_NAME from ROOMS where ROOM_NAME = :ROOM");
    for (auto call : {+[](fbdb::Statement& s) { s.param("ROOMS"); },
                      +[](fbdb::Statement& s) { s.param(std::size_t{1}); }}) {
        try {
            call(st);
            ADD_FAILURE() << "no error";
        } catch (const fbdb::Error& e) {
            EXPECT_NE(std::string(e.what()).find("ROOM"), std::string::npos) << e.what();
            EXPECT_EQ(e.code(), 0);
        }
    }
    // Not started, and not allowed to start it.
    EXPECT_THROW(st.execute(), fbdb::Error);
    st.setStartsTransaction(true);
    st.param("room").setString("105");
    st.execute();
    EXPECT_TRUE(tr_.active());
    ASSERT_TRUE(st.fetch());
    try {
        st.field("ROOM");
        ADD_FAILURE() << "no error";
    } catch (const fbdb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("ROOM"), std::string::npos) << e.what();
    }
    // A transaction of another connection is refused.
    fbdb::Connection other;
    EXPECT_THROW(fbdb::Statement(other, tr_), fbdb::Error);
}

TEST_F(StatementErrorTest, EngineErrorsCarryCodesAndText) {
    tr_.start();
    struct Row {
        const char* sql;
        std::intptr_t code;
        const char* text;
    };
    const Row rows[] = {
        {"select * from NO_SUCH_TABLE", isc_dsql_relation_err, "NO_SUCH_TABLE"},
        {"EXECUTE PROCEDURE EAI_EVENTQ_PUSHBACK ('mod_quorvin', 12345)", isc_except,
         "Event 12345 is not queued for mod_quorvin"},
        {"insert into ROOMS (ROOM_NAME) values ('101')", isc_unique_key_violation, "ROOMS"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sql);
        fbdb::Statement st(db_, tr_, row.sql);
        try {
            st.execute();
            ADD_FAILURE() << "no error";
        } catch (const fbdb::Error& e) {
            EXPECT_TRUE(e.hasCode(row.code)) << e.what();
            EXPECT_NE(std::string(e.what()).find(row.text), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(tr_.active());
}

TEST_F(StatementErrorTest, ColumnTypesAndConversions) {
    tr_.start();
    fbdb::Statement st(db_, tr_,
                       "select cast(12.34 as numeric(9,2)), cast(2.5 as double precision), "
                       "cast('2024-03-05 10:20:30' as timestamp), cast(7 as smallint), "
                       "cast(' 42 ' as char(6)), 'abc', cast(:D as double precision), "
                       "cast('2024-03-05' as date), cast('07:08:09.5' as time), 1 = 1 "
                       "from rdb$database");
    st.param("D").setDouble(0.125);
    st.execute();
    ASSERT_TRUE(st.fetch());
    EXPECT_DOUBLE_EQ(st.field(0).asDouble(), 12.34);
    EXPECT_DOUBLE_EQ(st.field(1).asDouble(), 2.5);
    EXPECT_EQ(st.field(2).asString(), "2024-03-05 10:20:30.0000");
    EXPECT_EQ(st.field(3).asInt(), 7);
    EXPECT_EQ(st.field(4).asString(), " 42   "); // CHAR keeps its padding
    EXPECT_EQ(st.field(4).asInt(), 42);
    EXPECT_THROW(st.field(5).asInt(), fbdb::Error);
    EXPECT_DOUBLE_EQ(st.field(6).asDouble(), 0.125);
    EXPECT_EQ(st.field(7).asString(), "2024-03-05");
    EXPECT_EQ(st.field(8).asString(), "07:08:09.5000");
    EXPECT_EQ(st.field(9).asInt(), 1);

    fbdb::Statement update(db_, tr_,
                           "update ROOMS set HK_TEXT = 'x' where ROOM_NAME starting with '10'");
    update.execute();
    EXPECT_EQ(update.affectedRows(), 5u);
}

} // namespace
