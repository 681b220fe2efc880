// Setting up the event module: the timer from "timer_interval", the
// connection from the "db." keys with its log lines, clearing the event log,
// and a database that cannot be reached at set-up.
#include "manager_fixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace manager_test {
namespace {

TEST_F(ManagerTest, TimerIntervalDecidesWhetherTheTimerRuns) {
    struct Case {
        std::optional<std::string> setting;
        int interval;
        bool running;
        const char* logged; // "LEVEL text"
    };
    for (const Case& c : {Case{"0", 0, false, "WARN Timer not started"},
                          Case{"-1", -1, false, "WARN Timer not started"},
                          Case{"250", 250, true, "DEBUG Timer started on 250"},
                          // Read as the dialog reads it, which shows 250 too.
                          Case{" 250", 250, true, "DEBUG Timer started on 250"},
                          Case{"+250\t", 250, true, "DEBUG Timer started on 250"},
                          Case{"abc", 5000, true, "DEBUG Timer started on 5000"},
                          Case{"", 5000, true, "DEBUG Timer started on 5000"},
                          Case{std::nullopt, 5000, true, "DEBUG Timer started on 5000"}}) {
        SCOPED_TRACE(c.setting.value_or("(missing)"));
        if (c.setting)
            section_->set("timer_interval", *c.setting);
        else
            section_->remove("timer_interval");
        log_.clear();
        quorvin::TpbxManagerDM module(context_, section_);
        EXPECT_EQ(module.timerInterval(), c.interval);
        EXPECT_EQ(module.timerRunning(), c.running);
        ASSERT_FALSE(moduleLines().empty());
        EXPECT_EQ(moduleLines().front(), c.logged);
    }
}

TEST_F(ManagerTest, SetUpConnectsAndClearsTheHandledEvents) {
    // One event handled by an earlier run, one still waiting.
    queue(Action{.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});
    {
        fbdb::Transaction tr(db_, front_db::CycleOptions());
        tr.start();
        front_db::Get(tr);
        tr.commit();
    }
    queue(Action{.code = "CHECK_IN", .room = "104", .guest = "GREEN TOM"});
    section_->set("db.dialect", "abc"); // not a number: dialect 1
    ASSERT_FALSE(section_->has("db.sql_role_name"));

    module();

    EXPECT_EQ(moduleLines(),
              (std::vector<std::string>{
                  "WARN Timer not started",
                  "DEBUG Executing clear event log",
                  "DEBUG Connectign to DB ...",
                  "DEBUG Param DB name: " + scratch_.name(),
                  "DEBUG Param SQL dialect: 1",
                  "DEBUG Param user_name: " + test_db::ServerLogin().user,
                  "DEBUG Param password: ********",
                  "DEBUG Param sql_role_name: ",
                  "DEBUG Successful connectign to DB",
                  "DEBUG Exec procedure EAI_EVENTQ_CLEAR(mod_quorvin, CHECK_IN,CHECK_OUT,"
                  "CHECK_OUT_EARLY1,CHECK_OUT_EARLY3,ROOM_MOVED,GUEST_IDENT_CHNG,PBX.MANUAL_OPEN,"
                  "PBX.MANUAL_CLOSE)",
              }))
        << log_.dump();
    EXPECT_FALSE(log_.containsText(test_db::ServerLogin().password)) << log_.dump();
    EXPECT_EQ(queueRows(), (Rows{{"CHECK_IN", "WAITING", "0", "0", "<null>"}}));

    log_.clear();
    module_.reset();
    EXPECT_EQ(moduleLines(), std::vector<std::string>{"DEBUG Disconnect from DB"});
}

TEST_F(ManagerTest, ClearingAgainOpensAFreshConnection) {
    module();
    const Rows before = test_db::Select(db_, "select MON$ATTACHMENT_ID from MON$ATTACHMENTS "
                                             "where MON$ATTACHMENT_ID <> current_connection "
                                             "and MON$SYSTEM_FLAG = 0");
    ASSERT_EQ(before.size(), 1u);
    log_.clear();

    module().clearEventLog();

    const Rows after = test_db::Select(db_, "select MON$ATTACHMENT_ID from MON$ATTACHMENTS "
                                            "where MON$ATTACHMENT_ID <> current_connection "
                                            "and MON$SYSTEM_FLAG = 0");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after, before);
    // The parameter list is built afresh, not appended to.
    size_t passwordLines = 0;
    for (const std::string& line : moduleLines())
        passwordLines += line.find("Param password") != std::string::npos;
    EXPECT_EQ(passwordLines, 1u) << log_.dump();
    EXPECT_EQ(errors(), std::vector<std::string>()) << log_.dump();
}

TEST_F(ManagerTest, DatabaseOutOfReachAtSetUpIsTriedAgainEachCycle) {
    const std::string password = section_->get("db.password");
    section_->set("db.password", "not the password");
    queue(Action{.code = "CHECK_IN", .room = "101", .guest = "BROWN ANN"});

    module();
    auto e = errors();
    ASSERT_EQ(e.size(), 1u) << log_.dump();
    EXPECT_EQ(e[0].rfind("Unable to clear event log.: ", 0), 0u) << e[0];

    log_.clear();
    module().executeCycle();
    e = errors();
    ASSERT_EQ(e.size(), 1u) << log_.dump();
    EXPECT_EQ(e[0].rfind("Execute error.: ", 0), 0u) << e[0];
    EXPECT_TRUE(adapter_->calls.empty());

    // Keys are read at each connect: the next cycle uses the corrected one.
    section_->set("db.password", password);
    log_.clear();
    module().executeCycle();
    EXPECT_TRUE(log_.contains(LogLevel::Debug, kModuleSource, "No connection to DB -> reconnect"));
    EXPECT_EQ(errors(), std::vector<std::string>()) << log_.dump();
    EXPECT_EQ(adapter_->calls.size(), 2u);
    EXPECT_EQ(queueRows(), (Rows{{"CHECK_IN", "TAKEN", "1", "0", "<null>"}}));
}

} // namespace
} // namespace manager_test
