// The manager's event module on a scratch front database of its own, with a
// recording adapter registered under "mod_recorder" in a real registry, and an
// administrator connection that queues front-desk actions and reads what the
// cycle left behind.
#pragma once

#include "front_db.h"
#include "recording_adapter.h"

#include "pbx_manager_dm.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/log_sinks.h"
#include "test_db/scratch_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace manager_test {

using front_db::Action;
using rtl::LogLevel;
using test_db::Rows;

inline const char* const kModuleSource = "TpbxManagerDM";

class ManagerTest : public testing::Test {
protected:
    ManagerTest() {
        scratch_.connect(db_, 1);
        context_->registerObject(config_.get());
        context_->registerObject(adapter_.get());
        section_ = config_->sub("mod_quorvin");
        section_->set("pbx_adapter", "mod_recorder");
        section_->set("timer_interval", "0"); // cycles are run by the test
        section_->set("db.name", scratch_.name());
        section_->set("db.dialect", "1");
        section_->set("db.user_name", test_db::ServerLogin().user);
        section_->set("db.password", test_db::ServerLogin().password);
    }

    // Created on first use, so that a test can change the section first.
    quorvin::TpbxManagerDM& module() {
        if (!module_)
            module_ = std::make_unique<quorvin::TpbxManagerDM>(context_, section_);
        return *module_;
    }

    front_db::Logged queue(const Action& action) { return front_db::Queue(db_, action); }

    // The module's queue, oldest first: code as logged, WAITING or TAKEN,
    // committed hand-outs, pushbacks, stored text.
    Rows queueRows() {
        return test_db::Select(
            db_, "select e.ACTION_CODE, trim(iif(q.QUEUE_STATE = 0, "
                 "'WAITING', 'TAKEN')), q.TAKE_COUNT, q.PUSHBACK_COUNT, q.PROCESS_INFO "
                 "from EAI_EVENTQ q join SYSTEM_LOG_EVENT e "
                 "on e.ID_SYSTEM_LOG = q.ID_EVENT "
                 "where q.IFC_MODULE_NAME = 'mod_quorvin' order by q.ID_EVENTQ");
    }

    // Recorded line states, oldest first: room, state, reason.
    Rows lineStates() {
        return test_db::Select(db_, "select r.ROOM_NAME, l.STATUS_CODE, l.REASON_CODE "
                                    "from ROOM_LINE_LOG l "
                                    "join ROOMS r on r.ID_ROOM = l.ID_ROOM order by l.ID");
    }

    // "LEVEL text" of the module's records, in order.
    std::vector<std::string> moduleLines() const {
        std::vector<std::string> lines;
        for (const rtl::LogRecord& r : log_.records()) {
            if (r.source == kModuleSource)
                lines.push_back(std::string(rtl::LogLevelName(r.level)) + " " + r.text);
        }
        return lines;
    }

    std::vector<std::string> errors() const { return log_.texts(LogLevel::Error); }

    // Kills every other attachment to the scratch database: the module's
    // connection is gone under it, as when the server dropped it. The server
    // ends a killed attachment after the delete has returned; this waits until
    // it is gone, so that the module's next request meets an attachment that
    // is over, not one being shut down.
    void killOtherAttachments() {
        const std::string others = "from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> "
                                   "current_connection and MON$SYSTEM_FLAG = 0";
        test_db::Execute(db_, "delete " + others);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (test_db::Select(db_, "select count(*) " + others) != Rows{{"0"}}) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline)
                << "the killed attachments are still listed";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    test_db::ScratchDatabase scratch_;
    fbdb::Connection db_;
    rtl::Ref<rtl::TContext> context_{new rtl::TContext};
    rtl::Ref<rtl::TConfiguration> config_{new rtl::TConfiguration};
    rtl::Ref<rtl::IConfiguration> section_;
    rtl::Ref<TRecordingAdapter> adapter_{new TRecordingAdapter("mod_recorder")};
    rtl::LogCapture log_;
    std::unique_ptr<quorvin::TpbxManagerDM> module_;
};

} // namespace manager_test
