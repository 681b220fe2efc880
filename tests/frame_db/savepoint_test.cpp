// Savepoints: the work after one is undone or kept on its own, and the
// transaction with the work before it goes on either way.
#include "fbdb/connection.h"
#include "fbdb/error.h"
#include "fbdb/savepoint.h"
#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "test_db/scratch_database.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test_db::Rows;

class SavepointTest : public testing::Test {
protected:
    void SetUp() override {
        scratch_.connect(db_, 1);
        tr_.start();
    }

    void insert(const std::string& tag) {
        fbdb::Statement st(
            db_, tr_,
            "insert into ROOM_STATUS_LOG (ID_ROOM, OPERATION, TAG) values (1, 'x', ?TAG)");
        st.param("TAG").setString(tag);
        st.execute();
    }

    // What the transaction has committed, read by another one.
    Rows committedTags() {
        tr_.commit();
        return test_db::Select(db_, "select TAG from ROOM_STATUS_LOG order by ID");
    }

    test_db::ScratchDatabase scratch_;
    fbdb::Connection db_;
    fbdb::Transaction tr_{db_};
};

TEST_F(SavepointTest, EachUnitOfWorkIsKeptOrUndoneOnItsOwn) {
    insert("before");
    {
        fbdb::Savepoint undone(tr_, "UNIT");
        insert("undone");
        undone.rollback();
        EXPECT_FALSE(undone.isSet());
    }
    {
        fbdb::Savepoint kept(tr_, "UNIT"); // the same name serves the next unit
        insert("kept");
        kept.release();
    }
    {
        fbdb::Savepoint forgotten(tr_, "UNIT");
        insert("left by an exception");
    } // rolled back when it goes out of scope still set
    insert("after");
    EXPECT_EQ(committedTags(), (Rows{{"before"}, {"kept"}, {"after"}}));
}

TEST_F(SavepointTest, ALostConnectionIsReportedAndEndsTheSavepoint) {
    fbdb::Savepoint sp(tr_, "UNIT");
    insert("lost");
    fbdb::Connection admin;
    scratch_.connect(admin);
    test_db::Execute(admin, "delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> "
                            "current_connection and MON$SYSTEM_FLAG = 0");
    EXPECT_THROW(sp.rollback(), fbdb::Error);
    EXPECT_FALSE(sp.isSet());
    EXPECT_EQ(test_db::Select(admin, "select count(*) from ROOM_STATUS_LOG"), Rows{{"0"}});
}

TEST_F(SavepointTest, NeedsAnActiveTransaction) {
    tr_.commit();
    EXPECT_THROW(fbdb::Savepoint(tr_, "UNIT"), fbdb::Error);
}

} // namespace
