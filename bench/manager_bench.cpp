// Figures for the PBX manager's cycle: EVENTS queued check-ins processed in
// one cycle with an adapter that answers at once, in events per second, against
// the same statements run directly through the data-access layer in the same
// run (the event query, then one line-state record per event, one commit).
// Goal: the cycle takes under 1.5x the direct run. Needs the Firebird server on
// loopback (scripts/firebird-start); works on a scratch database of its own.
#include "pbx_manager_dm.h"

#include "fbdb/connection.h"
#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "platform/application.h"
#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/log_sinks.h"
#include "rtl/logger.h"
#include "rtl/plugin.h"
#include "test_db/scratch_database.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kUsage =
    "Usage: manager_bench [EVENTS=1000 [ROUNDS=5]]\n"
    "\n"
    "Queues EVENTS check-ins (one per room, each room with its own line) on a scratch\n"
    "front database and processes them in one cycle of the PBX manager's event module\n"
    "with an adapter that answers at once; then runs the same statements directly\n"
    "through the data-access layer. Prints the median of ROUNDS rounds: events per\n"
    "second of each, and the ratio of the cycle's time to the direct run's.\n"
    "The cycle is measured with its debug log written to a file (as pbxhost runs it)\n"
    "and with the log off. Needs the Firebird server on 127.0.0.1:3050.\n";

// Answers every operation at once with true and no text.
class TInstantAdapter : public rtl::TPlugin<frame::IPBXAdapter> {
public:
    TInstantAdapter() { setName("mod_instant"); }
    bool openLine(frame::IPBXData*, std::string& info) override { return done(info); }
    bool closeLine(frame::IPBXData*, std::string& info) override { return done(info); }
    bool setGuestName(frame::IPBXData*, std::string& info) override { return done(info); }

private:
    static bool done(std::string& info) {
        info.clear();
        return true;
    }
};

fbdb::TransactionOptions CycleOptions() {
    return fbdb::TransactionOptions::FromWords(
        {"write", "isc_tpb_nowait", "rec_version", "read_committed"});
}

std::string RoomName(int i) {
    return "B" + std::to_string(1000 + i);
}

void AddRooms(fbdb::Connection& db, int count) {
    fbdb::Transaction tr(db);
    tr.start();
    fbdb::Statement room(db, tr, "insert into ROOMS (ROOM_NAME) values (:NAME)");
    fbdb::Statement line(db, tr,
                         "insert into PHONE_LINE_CONVERT (LINE, ROOM_NAME) values (:LINE, :NAME)");
    for (int i = 0; i < count; ++i) {
        room.param("NAME").setString(RoomName(i));
        room.execute();
        line.param("LINE").setString(std::to_string(30000 + i));
        line.param("NAME").setString(RoomName(i));
        line.execute();
    }
    tr.commit();
}

// The same guest for a room in every round, so that the guest table does not
// grow and queueing stays quick.
void QueueCheckIns(fbdb::Connection& db, int count) {
    fbdb::Transaction tr(db);
    tr.start();
    fbdb::Statement st(db, tr, "EXECUTE PROCEDURE QUEUE_FRONT_EVENT ('CHECK_IN', ?ROOM, ?GUEST)");
    for (int i = 0; i < count; ++i) {
        st.param("ROOM").setString(RoomName(i));
        st.param("GUEST").setString("GUEST " + std::to_string(i));
        st.execute();
    }
    tr.commit();
}

// What a cycle over check-ins does in the database, without the module.
int DirectCycle(fbdb::Connection& db) {
    fbdb::Transaction tr(db, CycleOptions());
    tr.start();
    fbdb::Statement events(
        db, tr,
        "select eg.ID_EVENT, sle.ACTION_CODE, r.ID_ROOM, plc.LINE,\n"
        "       p.PROFILE_NAME, rd.CHECK_STATUS, rd.ID_RESERV_DETAIL\n"
        "from   EAI_EVENTQ_GET(:IFC_MODULE_NAME, :EVENT_LIST) eg\n"
        "       join SYSTEM_LOG_EVENT sle on sle.ID_SYSTEM_LOG = eg.ID_EVENT\n"
        "       left outer join SYSTEM_LOG_RESERV slr on slr.ID_SYSTEM_LOG = sle.ID_SYSTEM_LOG\n"
        "       left outer join RESERV_DETAIL rd on rd.ID_RESERV_DETAIL = slr.ID_RESERV_DETAIL\n"
        "       left outer join PROFILE p on p.ID_PROFILE = rd.ID_PERSON_PROFILE\n"
        "       left outer join ROOMS r on r.ID_ROOM = coalesce(rd.ID_ROOM, sle.LOG_OBJECT_ID)\n"
        "       left outer join PHONE_LINE_CONVERT plc on plc.ROOM_NAME = r.ROOM_NAME");
    fbdb::Statement setStatus(db, tr,
                              "EXECUTE PROCEDURE EAI_ROOM_SET_STATUS "
                              "(?EAI_IFC, ?ID_ROOM, ?STATUS_CODE, ?REASON_CODE, ?NOTE)");
    events.param("IFC_MODULE_NAME").setString(quorvin::kIfcModuleName);
    events.param("EVENT_LIST").setString(quorvin::kEventList);
    events.execute();
    int rows = 0;
    while (events.fetch()) {
        ++rows;
        setStatus.param("EAI_IFC").setString(quorvin::kIfcModuleName);
        setStatus.param("ID_ROOM").setInt(events.field("ID_ROOM").asInt());
        setStatus.param("STATUS_CODE").setString(quorvin::kLineOpen);
        setStatus.param("REASON_CODE").setString(events.field("ACTION_CODE").asString());
        setStatus.param("NOTE").setNull();
        setStatus.execute();
    }
    tr.commit();
    return rows;
}

int Count(fbdb::Connection& db, const std::string& sql) {
    return std::stoi(test_db::Select(db, sql).at(0).at(0));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool ParseCount(const char* text, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 1 || value > 100000)
        return false;
    out = int(value);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int events = 1000;
    int rounds = 5;
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if ((argc > 1 && !ParseCount(argv[1], events)) || (argc > 2 && !ParseCount(argv[2], rounds)) ||
        argc > 3) {
        std::fprintf(stderr,
                     "manager_bench: bad arguments (EVENTS and ROUNDS are 1 to 100000)\n\n%s",
                     kUsage);
        return 2;
    }
    platform::Application app(argc, argv);

    try {
        test_db::ScratchDatabase scratch;
        fbdb::Connection db;
        scratch.connect(db, 1);
        AddRooms(db, events);

        rtl::Ref<rtl::TContext> context(new rtl::TContext);
        rtl::Ref<rtl::TConfiguration> config(new rtl::TConfiguration);
        rtl::Ref<TInstantAdapter> adapter(new TInstantAdapter);
        context->registerObject(config.get());
        context->registerObject(adapter.get());
        rtl::Ref<rtl::IConfiguration> section = config->sub("mod_quorvin");
        section->set("pbx_adapter", "mod_instant");
        section->set("timer_interval", "0");
        section->set("db.name", scratch.name());
        section->set("db.user_name", test_db::ServerLogin().user);
        section->set("db.password", test_db::ServerLogin().password);

        const std::string logPath =
            (std::filesystem::path(scratch.path()).parent_path() / "manager_bench.log").string();
        auto logFile = std::make_shared<rtl::FileLogSink>(logPath);
        quorvin::TpbxManagerDM module(context, section);

        std::vector<double> logged, silent, direct;
        for (int round = 0; round < rounds; ++round) {
            QueueCheckIns(db, events);
            rtl::TLogger::addSink(logFile);
            rtl::TLogger::setLevel(rtl::LogLevel::Debug);
            auto start = Clock::now();
            module.executeCycle();
            logged.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            rtl::TLogger::removeSink(logFile);

            QueueCheckIns(db, events);
            rtl::TLogger::setLevel(rtl::LogLevel::Off);
            start = Clock::now();
            module.executeCycle();
            silent.push_back(std::chrono::duration<double>(Clock::now() - start).count());

            QueueCheckIns(db, events);
            start = Clock::now();
            const int rows = DirectCycle(db);
            direct.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            if (rows != events)
                throw std::runtime_error("the direct run saw " + std::to_string(rows) +
                                         " events instead of " + std::to_string(events));
        }
        const int states = Count(db, "select count(*) from ROOM_LINE_LOG");
        if (states != 3 * rounds * events)
            throw std::runtime_error("expected " + std::to_string(3 * rounds * events) +
                                     " line states, found " + std::to_string(states));
        std::filesystem::remove(logPath);

        const double l = Median(logged), s = Median(silent), d = Median(direct);
        std::printf("%d check-ins per cycle, median of %d rounds\n", events, rounds);
        std::printf("  manager cycle, debug log to a file: %8.3f s  %8.0f events/s  %.2fx\n", l,
                    events / l, l / d);
        std::printf("  manager cycle, log off:             %8.3f s  %8.0f events/s  %.2fx\n", s,
                    events / s, s / d);
        std::printf("  same statements directly:           %8.3f s  %8.0f events/s\n", d,
                    events / d);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "manager_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
