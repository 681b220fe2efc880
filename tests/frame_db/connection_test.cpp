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

std::string AttachmentId(fbdb::Connection& db) {
    return Select(db, "select current_connection from rdb$database").at(0).at(0);
}

class ConnectionTest : public testing::Test {
protected:
    test_db::ScratchDatabase scratch_;
};

TEST_F(ConnectionTest, ConnectsWithCharsetNoneAndDisconnects) {
    fbdb::Connection db;
    EXPECT_FALSE(db.connected());
    EXPECT_EQ(db.dialect(), 1);
    EXPECT_FALSE(db.ping());

    scratch_.connect(db, 1);
    EXPECT_TRUE(db.connected());
    EXPECT_TRUE(db.ping());
    EXPECT_EQ(db.paramValue("PASSWORD"), test_db::ServerLogin().password);
    // Character set 0 is NONE: texts come back as the bytes stored.
    EXPECT_EQ(Select(db, "select a.MON$CHARACTER_SET_ID from MON$ATTACHMENTS a "
                         "where a.MON$ATTACHMENT_ID = current_connection"),
              (Rows{{"0"}}));

    db.disconnect();
    EXPECT_FALSE(db.connected());
    EXPECT_NO_THROW(db.disconnect());
}

// In dialect 1 a double-quoted text is a string, in dialect 3 a column name:
// the statement shows which dialect the connection really uses.
TEST_F(ConnectionTest, DialectReachesTheServer) {
    fbdb::Connection db;
    scratch_.connect(db, 1);
    EXPECT_EQ(Select(db, "select \"quoted\" from rdb$database"), (Rows{{"quoted"}}));

    db.setDialect(3);
    db.connect();
    EXPECT_EQ(db.dialect(), 3);
    EXPECT_THROW(Select(db, "select \"quoted\" from rdb$database"), fbdb::Error);

    EXPECT_THROW(db.setDialect(0), fbdb::Error);
    EXPECT_EQ(db.dialect(), 3);
}

TEST_F(ConnectionTest, RoleIsUsedAndAnEmptyRoleMeansNone) {
    fbdb::Connection admin;
    scratch_.connect(admin);
    test_db::Execute(admin, "create role HOUSEKEEPING");
    test_db::Execute(admin, "grant HOUSEKEEPING to " + test_db::ServerLogin().user);

    struct Row {
        const char* role;
        const char* seen;
    };
    for (const Row row : {Row{"HOUSEKEEPING", "HOUSEKEEPING"}, Row{"", "NONE"}}) {
        SCOPED_TRACE(row.role);
        fbdb::Connection db;
        db.setDatabaseName(scratch_.name());
        db.addParam("user_name", test_db::ServerLogin().user);
        db.addParam("password", test_db::ServerLogin().password);
        db.addParam("sql_role_name", row.role);
        db.connect();
        EXPECT_EQ(Select(db, "select trim(current_role) from rdb$database"), (Rows{{row.seen}}));
    }
}

TEST_F(ConnectionTest, FailedConnectRaisesEngineErrorAndStaysClosed) {
    struct Row {
        const char* label;
        std::string name;
        std::string password;
        std::intptr_t code;
    };
    const Row rows[] = {
        {"wrong password", scratch_.name(), test_db::ServerLogin().password + "x", isc_login},
        {"no such file", scratch_.name() + ".missing", test_db::ServerLogin().password,
         isc_io_error},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        fbdb::Connection db;
        db.setDatabaseName(row.name);
        db.addParam("user_name", test_db::ServerLogin().user);
        db.addParam("password", row.password);
        try {
            db.connect();
            ADD_FAILURE() << "connected";
        } catch (const fbdb::Error& e) {
            EXPECT_TRUE(e.hasCode(row.code)) << e.what();
            EXPECT_FALSE(std::string(e.what()).empty());
        }
        EXPECT_FALSE(db.connected());
        EXPECT_FALSE(db.ping());
    }
}

// A statement prepared on the old connection does not stand in the way of
// closing it, and is prepared anew on the next.
TEST_F(ConnectionTest, ConnectOnAnOpenConnectionReplacesIt) {
    fbdb::Connection db;
    scratch_.connect(db);
    fbdb::Transaction tr(db);
    fbdb::Statement st(db, tr, "select current_connection from rdb$database");
    tr.start();
    st.execute();
    ASSERT_TRUE(st.fetch());
    const std::string first = st.field(0).asString();
    const auto generation = db.generation();

    db.connect();
    EXPECT_TRUE(db.connected());
    EXPECT_FALSE(tr.active());
    EXPECT_GT(db.generation(), generation);
    tr.start();
    st.execute();
    ASSERT_TRUE(st.fetch());
    EXPECT_NE(st.field(0).asString(), first);
    fbdb::Connection other;
    scratch_.connect(other);
    EXPECT_EQ(
        Select(other, "select count(*) from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + first),
        (Rows{{"0"}}));
}

// The way an administrator (or a server restart) cuts a connection: the next
// ping finds it, closes it and drops its transaction; connect then works
// again, and a statement prepared before is prepared anew.
TEST_F(ConnectionTest, PingFindsAKilledConnectionThenReconnectWorks) {
    fbdb::Connection db;
    scratch_.connect(db, 1);
    fbdb::Transaction tr(db, fbdb::TransactionOptions::FromWords(
                                 {"read", "read_committed", "rec_version", "nowait"}));
    tr.start();
    fbdb::Statement query(db, tr, "select ROOM_NAME from PHONE_LINE_CONVERT where LINE = :LINE");
    query.param("LINE").setString("2102");
    query.execute();
    ASSERT_TRUE(query.fetch());
    query.close();
    const std::string id = AttachmentId(db);

    fbdb::Connection admin;
    scratch_.connect(admin);
    test_db::Execute(admin, "delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + id);

    EXPECT_FALSE(db.ping());
    EXPECT_FALSE(db.connected());
    EXPECT_FALSE(tr.active());
    EXPECT_THROW(query.execute(), fbdb::Error);

    db.connect();
    EXPECT_TRUE(db.ping());
    tr.start();
    query.execute();
    ASSERT_TRUE(query.fetch());
    EXPECT_EQ(query.field("ROOM_NAME").asString(), "102");
    EXPECT_NE(AttachmentId(db), id);
}

} // namespace

namespace {

// A statement that meets a killed connection gets the server's shutdown
// answer; from then on the connection counts as closed with its transaction
// over, without a ping and without another request to the server (one that
// has shut an attachment down may never read from its socket again).
TEST_F(ConnectionTest, AShutdownAnswerClosesTheConnectionAtOnce) {
    fbdb::Connection db;
    scratch_.connect(db, 1);
    fbdb::Transaction tr(db);
    tr.start();
    fbdb::Statement query(db, tr, "select ROOM_NAME from PHONE_LINE_CONVERT");
    const std::string id = AttachmentId(db);

    fbdb::Connection admin;
    scratch_.connect(admin);
    test_db::Execute(admin, "delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + id);
    const std::string listed =
        "select count(*) from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + id;
    for (int i = 0; i < 2000 && Select(admin, listed) != Rows{{"0"}}; ++i) {
    }
    ASSERT_EQ(Select(admin, listed), Rows{{"0"}});

    try {
        query.execute();
        FAIL() << "executed on a killed connection";
    } catch (const fbdb::Error& e) {
        EXPECT_TRUE(e.connectionLost()) << e.what();
        EXPECT_TRUE(e.serverShutDown()) << e.what();
    }
    EXPECT_FALSE(db.connected());
    EXPECT_FALSE(tr.active());
    EXPECT_FALSE(db.ping());
    EXPECT_THROW(tr.commit(), fbdb::Error);
    EXPECT_NO_THROW(db.disconnect());

    db.connect();
    tr.start();
    query.execute();
    EXPECT_TRUE(query.fetch());
}

} // namespace
