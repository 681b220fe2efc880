// The module connection against a real Firebird server: parameters from the
// configuration with their log lines, and reconnection of a connection lost.
#include "frame/front_db.h"

#include "fbdb/error.h"
#include "rtl/log_sinks.h"
#include "test_db/scratch_database.h"

#include <gtest/gtest.h>

using rtl::LogLevel;

namespace {

class FrontDBTest : public testing::Test {
protected:
    FrontDBTest() : config_(rtl::MakeRef<rtl::TConfiguration>()), frontDB_("TTestDM", config_) {
        config_->set("db.name", scratch_.name());
        config_->set("db.user_name", test_db::ServerLogin().user);
        config_->set("db.password", test_db::ServerLogin().password);
    }
    std::vector<std::string> lines() const { return log_.texts(LogLevel::Debug, "TTestDM"); }

    test_db::ScratchDatabase scratch_;
    rtl::Ref<rtl::TConfiguration> config_;
    rtl::LogCapture log_;
    frame::TFrontDB frontDB_;
};

std::string AttachmentId(fbdb::Connection& db) {
    return test_db::Select(db, "select current_connection from rdb$database").at(0).at(0);
}

} // namespace

TEST_F(FrontDBTest, ConnectLogsEachParameterWithThePasswordMasked) {
    config_->set("db.dialect", "abc"); // not a number: dialect 1
    frontDB_.connect();
    ASSERT_TRUE(frontDB_.connected());
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "Connectign to DB ...",
                           "Param DB name: " + scratch_.name(),
                           "Param SQL dialect: 1",
                           "Param user_name: " + test_db::ServerLogin().user,
                           "Param password: ********",
                           "Param sql_role_name: ",
                           "Successful connectign to DB",
                       }))
        << log_.dump();
    EXPECT_FALSE(log_.containsText(test_db::ServerLogin().password)) << log_.dump();
    EXPECT_EQ(frontDB_.connection().dialect(), 1);
    EXPECT_EQ(frontDB_.connection().paramValue("sql_role_name"), "");
}

TEST_F(FrontDBTest, ConnectOnAnOpenConnectionBuildsTheParametersAfresh) {
    config_->set("db.dialect", "3");
    frontDB_.connect();
    const std::string first = AttachmentId(frontDB_.connection());
    frontDB_.connect();
    EXPECT_EQ(frontDB_.connection().params().size(), 3u);
    EXPECT_EQ(frontDB_.connection().dialect(), 3);
    EXPECT_NE(AttachmentId(frontDB_.connection()), first);
}

TEST_F(FrontDBTest, AFailedConnectRaisesAndStaysClosed) {
    config_->set("db.password", "wrong password");
    EXPECT_THROW(frontDB_.connect(), fbdb::Error);
    EXPECT_FALSE(frontDB_.connected());
    EXPECT_FALSE(log_.containsText("Successful")) << log_.dump();
}

TEST_F(FrontDBTest, CheckConnectionReconnectsALostConnection) {
    frontDB_.connect();
    frontDB_.checkConnection();
    EXPECT_FALSE(log_.containsText("reconnect"));

    const std::string id = AttachmentId(frontDB_.connection());
    fbdb::Connection admin;
    scratch_.connect(admin);
    test_db::Execute(admin, "delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + id);

    log_.clear();
    frontDB_.checkConnection();
    EXPECT_TRUE(frontDB_.connected());
    EXPECT_NE(AttachmentId(frontDB_.connection()), id);
    const auto l = lines();
    ASSERT_GE(l.size(), 3u) << log_.dump();
    EXPECT_EQ(l[0], "Check connection to DB");
    EXPECT_EQ(l[1], "No connection to DB -> reconnect");
    EXPECT_EQ(l[2], "Connectign to DB ...");
    EXPECT_EQ(l.back(), "Successful connectign to DB");

    frontDB_.disconnect();
    EXPECT_FALSE(frontDB_.connected());
    EXPECT_EQ(lines().back(), "Disconnect from DB");
}
