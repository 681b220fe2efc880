// Shared pieces of the front database tests: a scratch database with a
// connection in dialect 1 (what the modules start with), front-desk actions
// and the event-queue procedures as the modules call them.
#pragma once

#include "fbdb/connection.h"
#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "test_db/scratch_database.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace front_db {

inline const char* const kModule = "mod_quorvin";
inline const char* const kEventList =
    "CHECK_IN,CHECK_OUT,CHECK_OUT_EARLY1,CHECK_OUT_EARLY3,"
    "ROOM_MOVED,GUEST_IDENT_CHNG,PBX.MANUAL_OPEN,PBX.MANUAL_CLOSE";
// Windows-1251 bytes.
inline const std::string kIvanov = "\xC8\xE2\xE0\xED\xEE\xE2 \xC8\xE2\xE0\xED";
inline const std::string kPetrova = "\xCF\xE5\xF2\xF0\xEE\xE2\xE0 \xC0\xED\xED\xE0";

inline fbdb::TransactionOptions CycleOptions() {
    return fbdb::TransactionOptions::FromWords(
        {"write", "isc_tpb_nowait", "rec_version", "read_committed"});
}

struct Action {
    std::string code;
    std::optional<std::string> room;
    std::optional<std::string> guest = std::nullopt;
    std::optional<std::string> newValue = std::nullopt;
    std::optional<std::string> module = kModule;
};

struct Logged {
    int event = 0;
    int stay = 0; // 0: no stay
};

inline void SetText(fbdb::Param& param, const std::optional<std::string>& value) {
    if (value)
        param.setString(*value);
    else
        param.setNull();
}

// Carries out one front-desk action in a transaction of its own.
inline Logged Queue(fbdb::Connection& db, const Action& action) {
    fbdb::Transaction tr(db);
    tr.start();
    fbdb::Statement st(db, tr,
                       "EXECUTE PROCEDURE QUEUE_FRONT_EVENT (?CODE, ?ROOM, ?GUEST, ?NEW_VALUE, "
                       "?MODULE)");
    st.param("CODE").setString(action.code);
    SetText(st.param("ROOM"), action.room);
    SetText(st.param("GUEST"), action.guest);
    SetText(st.param("NEW_VALUE"), action.newValue);
    SetText(st.param("MODULE"), action.module);
    st.execute();
    const Logged logged{st.field("ID_EVENT").asInt(), st.field("ID_RESERV_DETAIL").asInt()};
    tr.commit();
    return logged;
}

// The events EAI_EVENTQ_GET hands out in tr.
inline std::vector<int> Get(fbdb::Transaction& tr, const std::string& module = kModule,
                            const std::string& list = kEventList) {
    fbdb::Connection& db = tr.connection();
    fbdb::Statement st(db, tr,
                       "select ID_EVENT from EAI_EVENTQ_GET(:IFC_MODULE_NAME, :EVENT_LIST)");
    st.param("IFC_MODULE_NAME").setString(module);
    st.param("EVENT_LIST").setString(list);
    st.execute();
    std::vector<int> events;
    while (st.fetch())
        events.push_back(st.field("ID_EVENT").asInt());
    return events;
}

inline void Pushback(fbdb::Transaction& tr, int event, const std::string& module = kModule) {
    fbdb::Statement st(tr.connection(), tr,
                       "EXECUTE PROCEDURE EAI_EVENTQ_PUSHBACK (?EAI_IFC, ?ID_EVENT)");
    st.param("EAI_IFC").setString(module);
    st.param("ID_EVENT").setInt(event);
    st.execute();
}

inline void Process(fbdb::Transaction& tr, int event, const std::string& info,
                    const std::string& module = kModule) {
    fbdb::Statement st(tr.connection(), tr,
                       "EXECUTE PROCEDURE EAI_EVENTQ_PROCESS (?EAI_IFC, ?ID_EVENT, ?PROCESS_INFO)");
    st.param("EAI_IFC").setString(module);
    st.param("ID_EVENT").setInt(event);
    st.param("PROCESS_INFO").setBlobText(info);
    st.execute();
}

inline void Clear(fbdb::Transaction& tr, const std::string& module = kModule,
                  const std::string& list = kEventList) {
    fbdb::Statement st(tr.connection(), tr,
                       "EXECUTE PROCEDURE EAI_EVENTQ_CLEAR (?EAI_IFC, ?INTERESTED_EVENTS)");
    st.param("EAI_IFC").setString(module);
    st.param("INTERESTED_EVENTS").setString(list);
    st.execute();
}

inline int RoomId(fbdb::Connection& db, const std::string& room) {
    return std::stoi(
        test_db::Select(db, "select ID_ROOM from ROOMS where ROOM_NAME = '" + room + "'")
            .at(0)
            .at(0));
}

class FrontDbTest : public testing::Test {
protected:
    void SetUp() override { scratch_.connect(db_, 1); }

    test_db::ScratchDatabase scratch_;
    fbdb::Connection db_;
};

} // namespace front_db
