#include "fbdb/connection.h"
#include "fbdb/error.h"
#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "test_db/scratch_database.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using test_db::Rows;
using test_db::Select;

class TransactionTest : public testing::Test {
protected:
    void SetUp() override { scratch_.connect(db_); }

    test_db::ScratchDatabase scratch_;
    fbdb::Connection db_;
};

// What the server itself reports for a transaction started from the words.
struct ModeCase {
    const char* label;
    std::vector<std::string> words;
    // MON$ISOLATION_MODE (0 consistency, 1 concurrency, 2 read committed
    // record version, 3 read committed no record version), MON$LOCK_TIMEOUT
    // (-1 wait, 0 no wait), MON$READ_ONLY.
    Rows seen;
};

class TransactionModeTest : public TransactionTest, public testing::WithParamInterface<ModeCase> {};

TEST_P(TransactionModeTest, ServerSeesTheOptions) {
    fbdb::Transaction tr(db_, fbdb::TransactionOptions::FromWords(GetParam().words));
    tr.start();
    fbdb::Statement st(db_, tr,
                       "select MON$ISOLATION_MODE, MON$LOCK_TIMEOUT, MON$READ_ONLY "
                       "from MON$TRANSACTIONS where MON$TRANSACTION_ID = current_transaction");
    st.execute();
    ASSERT_TRUE(st.fetch());
    const Rows seen{{st.field(0).asString(), st.field(1).asString(), st.field(2).asString()}};
    EXPECT_EQ(seen, GetParam().seen);
    tr.commit();
}

INSTANTIATE_TEST_SUITE_P(
    Words, TransactionModeTest,
    testing::Values(ModeCase{"EventCycle",
                             {"write", "isc_tpb_nowait", "rec_version", "read_committed"},
                             {{"2", "0", "0"}}},
                    ModeCase{"LineLookup",
                             {"read", "nowait", "rec_version", "read_committed"},
                             {{"2", "0", "1"}}},
                    ModeCase{"EngineDefault", {}, {{"1", "-1", "0"}}},
                    ModeCase{"NoRecVersionWait",
                             {"read_committed", "no_rec_version", "wait"},
                             {{"3", "-1", "0"}}},
                    ModeCase{"ConsistencyRead", {"consistency", "read"}, {{"0", "-1", "1"}}}),
    [](const testing::TestParamInfo<ModeCase>& info) { return info.param.label; });

// Two event cycles on the same room row: with nowait the second gets the
// engine's conflict error at once instead of waiting for the first.
TEST_F(TransactionTest, NowaitLockConflictIsAnErrorAtOnce) {
    const auto cycle = fbdb::TransactionOptions::FromWords(
        {"write", "isc_tpb_nowait", "rec_version", "read_committed"});
    const char* update = "update ROOMS set HK_TEXT = :T where ROOM_NAME = '101'";
    fbdb::Transaction first(db_, cycle);
    first.start();
    fbdb::Statement firstUpdate(db_, first, update);
    firstUpdate.param("T").setString("first");
    firstUpdate.execute();

    fbdb::Connection other;
    scratch_.connect(other);
    fbdb::Transaction second(other, cycle);
    second.start();
    fbdb::Statement secondUpdate(other, second, update);
    secondUpdate.param("T").setString("second");
    try {
        secondUpdate.execute();
        ADD_FAILURE() << "no conflict";
    } catch (const fbdb::Error& e) {
        EXPECT_TRUE(e.hasCode(isc_update_conflict) || e.hasCode(isc_deadlock)) << e.what();
    }
    // The failed statement leaves the transaction usable.
    EXPECT_TRUE(second.active());
    second.rollback();
    first.commit();
    EXPECT_EQ(Select(other, "select HK_TEXT from ROOMS where ROOM_NAME = '101'"),
              (Rows{{"first"}}));
}

TEST_F(TransactionTest, ReadOnlyTransactionRefusesWrites) {
    fbdb::Transaction tr(db_, fbdb::TransactionOptions::FromWords({"read", "read_committed"}));
    tr.start();
    fbdb::Statement st(db_, tr, "update ROOMS set HK_TEXT = 'x'");
    try {
        st.execute();
        ADD_FAILURE() << "written";
    } catch (const fbdb::Error& e) {
        EXPECT_TRUE(e.hasCode(isc_read_only_trans)) << e.what();
    }
}

TEST_F(TransactionTest, StateErrorsAndOptionsRefusedAtStart) {
    fbdb::Transaction tr(db_);
    EXPECT_THROW(tr.commit(), fbdb::Error);
    EXPECT_THROW(tr.rollback(), fbdb::Error);
    tr.start();
    EXPECT_THROW(tr.start(), fbdb::Error);
    tr.rollback();
    EXPECT_FALSE(tr.active());

    fbdb::TransactionOptions recordVersionOnly;
    recordVersionOnly.recordVersion = true;
    tr.setOptions(recordVersionOnly);
    EXPECT_THROW(tr.start(), fbdb::Error);
    EXPECT_FALSE(tr.active());

    fbdb::Connection closed;
    fbdb::Transaction onClosed(closed);
    EXPECT_THROW(onClosed.start(), fbdb::Error);
}

// Work is kept only by commit: a transaction destroyed while active, or still
// active when its connection is closed, is rolled back.
TEST_F(TransactionTest, OnlyCommitKeepsWork) {
    const char* insert = "insert into PROFILE (PROFILE_NAME) values (:N)";
    auto insertIn = [&](fbdb::Transaction& tr, const char* name) {
        fbdb::Statement st(db_, tr, insert);
        st.param("N").setString(name);
        st.execute();
    };
    {
        fbdb::Transaction tr(db_);
        tr.start();
        insertIn(tr, "DESTROYED");
    }
    fbdb::Transaction open(db_);
    open.start();
    insertIn(open, "DISCONNECTED");
    db_.disconnect();
    EXPECT_FALSE(open.active());
    db_.connect();
    fbdb::Transaction kept(db_);
    kept.start();
    insertIn(kept, "COMMITTED");
    kept.commit();

    EXPECT_EQ(Select(db_, "select PROFILE_NAME from PROFILE where PROFILE_NAME in "
                          "('DESTROYED', 'DISCONNECTED', 'COMMITTED')"),
              (Rows{{"COMMITTED"}}));
}

// Each way a handle ends must drop exactly the one reference the layer holds:
// the test holds one more, and its own release must then be the last.
struct ReleaseCase {
    const char* label;
    // Sets up, takes an extra reference on a handle, ends it the layer's way
    // and returns the handle.
    std::function<Firebird::IReferenceCounted*(test_db::ScratchDatabase&, fbdb::Connection&)> end;
};

class ReleaseTest : public TransactionTest, public testing::WithParamInterface<ReleaseCase> {};

TEST_P(ReleaseTest, EndingAHandleDropsExactlyOneReference) {
    Firebird::IReferenceCounted* handle = GetParam().end(scratch_, db_);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->release(), 0);
}

Firebird::ITransaction* Started(fbdb::Transaction& tr) {
    tr.start();
    tr.handle()->addRef();
    return tr.handle();
}

INSTANTIATE_TEST_SUITE_P(
    Handles, ReleaseTest,
    testing::Values(
        ReleaseCase{"Commit",
                    [](test_db::ScratchDatabase&, fbdb::Connection& db) {
                        fbdb::Transaction tr(db);
                        auto* handle = Started(tr);
                        tr.commit();
                        return static_cast<Firebird::IReferenceCounted*>(handle);
                    }},
        ReleaseCase{"Rollback",
                    [](test_db::ScratchDatabase&, fbdb::Connection& db) {
                        fbdb::Transaction tr(db);
                        auto* handle = Started(tr);
                        tr.rollback();
                        return static_cast<Firebird::IReferenceCounted*>(handle);
                    }},
        ReleaseCase{"RollbackByDestructor",
                    [](test_db::ScratchDatabase&, fbdb::Connection& db) {
                        fbdb::Transaction tr(db);
                        return static_cast<Firebird::IReferenceCounted*>(Started(tr));
                    }},
        ReleaseCase{"RollbackByDisconnect",
                    [](test_db::ScratchDatabase&, fbdb::Connection& db) {
                        fbdb::Transaction tr(db);
                        auto* handle = Started(tr);
                        db.disconnect();
                        return static_cast<Firebird::IReferenceCounted*>(handle);
                    }},
        ReleaseCase{"Detach",
                    [](test_db::ScratchDatabase&, fbdb::Connection& db) {
                        auto* handle = db.handle();
                        handle->addRef();
                        db.disconnect();
                        return static_cast<Firebird::IReferenceCounted*>(handle);
                    }},
        ReleaseCase{"DetachByReconnect",
                    [](test_db::ScratchDatabase&, fbdb::Connection& db) {
                        auto* handle = db.handle();
                        handle->addRef();
                        db.connect();
                        return static_cast<Firebird::IReferenceCounted*>(handle);
                    }},
        ReleaseCase{"LostConnectionClosedByPing",
                    [](test_db::ScratchDatabase& scratch, fbdb::Connection& db) {
                        const std::string id =
                            Select(db, "select current_connection from rdb$database").at(0).at(0);
                        fbdb::Connection admin;
                        scratch.connect(admin);
                        test_db::Execute(
                            admin, "delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + id);
                        auto* handle = db.handle();
                        handle->addRef();
                        EXPECT_FALSE(db.ping());
                        return static_cast<Firebird::IReferenceCounted*>(handle);
                    }}),
    [](const testing::TestParamInfo<ReleaseCase>& info) { return info.param.label; });

} // namespace
