#include "pbx_manager_dm.h"

#include "platform/stop_request.h"
#include "rtl/logger.h"

#include <charconv>
#include <chrono>
#include <stdexcept>

namespace quorvin {

using rtl::TLogger;

namespace {

const char* const kEventsSql =
    "select eg.ID_EVENT, sle.ACTION_CODE, r.ID_ROOM, plc.LINE,\n"
    "       p.PROFILE_NAME, rd.CHECK_STATUS, rd.ID_RESERV_DETAIL\n"
    "from   EAI_EVENTQ_GET(:IFC_MODULE_NAME, :EVENT_LIST) eg\n"
    "       join SYSTEM_LOG_EVENT sle on sle.ID_SYSTEM_LOG = eg.ID_EVENT\n"
    "       left outer join SYSTEM_LOG_RESERV slr on slr.ID_SYSTEM_LOG = sle.ID_SYSTEM_LOG\n"
    "       left outer join RESERV_DETAIL rd on rd.ID_RESERV_DETAIL = slr.ID_RESERV_DETAIL\n"
    "       left outer join PROFILE p on p.ID_PROFILE = rd.ID_PERSON_PROFILE\n"
    "       left outer join ROOMS r on r.ID_ROOM = coalesce(rd.ID_ROOM, sle.LOG_OBJECT_ID)\n"
    "       left outer join PHONE_LINE_CONVERT plc on plc.ROOM_NAME = r.ROOM_NAME";
const char* const kRoomStatusSql = "select rs.LINE_NAME, rs.IS_FREE, rs.PROFILE_NAME\n"
                                   "  from EAI_RESROOM_STATUS(:ID_RESERV_DETAIL) rs";
const char* const kAttachEventInfoSql =
    "EXECUTE PROCEDURE EAI_EVENTQ_PROCESS (?EAI_IFC, ?ID_EVENT, ?PROCESS_INFO)";
const char* const kPushbackEventSql = "EXECUTE PROCEDURE EAI_EVENTQ_PUSHBACK (?EAI_IFC, ?ID_EVENT)";
const char* const kClearEventsSql =
    "EXECUTE PROCEDURE EAI_EVENTQ_CLEAR (?EAI_IFC, ?INTERESTED_EVENTS)";
const char* const kSetRoomStatusSql = "EXECUTE PROCEDURE EAI_ROOM_SET_STATUS "
                                      "(?EAI_IFC, ?ID_ROOM, ?STATUS_CODE, ?REASON_CODE, ?NOTE)";

fbdb::TransactionOptions EventTransactionOptions() {
    return fbdb::TransactionOptions::FromWords(
        {"write", "isc_tpb_nowait", "rec_version", "read_committed"});
}

// The whole text as a decimal integer, or `fallback`.
int IntOr(const std::string& text, int fallback) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return (text.empty() || ec != std::errc() || at != end) ? fallback : value;
}

std::string Trimmed(const std::string& text) {
    const char* const blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Runs `action` when the scope is left, however it is left.
template <typename F> class AtExit {
public:
    explicit AtExit(F action) : action_(std::move(action)) {}
    ~AtExit() { action_(); }
    AtExit(const AtExit&) = delete;
    AtExit& operator=(const AtExit&) = delete;

private:
    F action_;
};

} // namespace

// Codes are compared exactly: the queue hands out codes in any letter case,
// and one that is not written as here is pushed back untouched.
const TpbxManagerDM::Dispatch TpbxManagerDM::kDispatch[] = {
    {"CHECK_IN", &TpbxManagerDM::openEvent},
    {"PBX.MANUAL_OPEN", &TpbxManagerDM::openEvent},
    {"CHECK_OUT", &TpbxManagerDM::reservationEvent},
    {"CHECK_OUT_EARLY1", &TpbxManagerDM::reservationEvent},
    {"CHECK_OUT_EARLY3", &TpbxManagerDM::reservationEvent},
    {"ROOM_MOVED", &TpbxManagerDM::reservationEvent},
    {"GUEST_IDENT_CHNG", &TpbxManagerDM::guestIdentityEvent},
    {"PBX.MANUAL_CLOSE", &TpbxManagerDM::closeEvent},
};

TpbxManagerDM::TpbxManagerDM(rtl::Ref<rtl::IContext> context,
                             rtl::Ref<rtl::IConfiguration> configuration)
    : context_(std::move(context)), configuration_(std::move(configuration)),
      frontDB_("TpbxManagerDM", configuration_),
      transEvent_(frontDB_.connection(), EventTransactionOptions()),
      getEventsQ_(frontDB_.connection(), transEvent_, kEventsSql),
      getRoomStatusQ_(frontDB_.connection(), transEvent_, kRoomStatusSql),
      attachEventInfoP_(frontDB_.connection(), transEvent_, kAttachEventInfoSql),
      pushbackEventP_(frontDB_.connection(), transEvent_, kPushbackEventSql),
      clearEventsP_(frontDB_.connection(), transEvent_, kClearEventsSql),
      setRoomStatusP_(frontDB_.connection(), transEvent_, kSetRoomStatusSql),
      timer_([this] { executeEvent(); }) {
    getRoomStatusQ_.setStartsTransaction(true);
    initTimer();
}

TpbxManagerDM::~TpbxManagerDM() {
    timer_.stop();
    if (frontDB_.connected()) {
        try {
            frontDB_.disconnect();
        } catch (const std::exception& e) {
            // Closed afterwards in any case; the server ends what was left open.
            TLogger::error(this, e, "Unable to disconnect from DB.");
        }
    }
    configuration_.reset();
}

void TpbxManagerDM::initTimer() {
    timer_.stop();
    interval_ = IntOr(configuration_->get("timer_interval"), kDefaultTimerInterval);
    timer_.setInterval(interval_ > 0 ? uint32_t(interval_) : 0);
    if (interval_ > 0) {
        timer_.start();
        TLogger::debug(this, "Timer started on %d", interval_);
    } else {
        TLogger::warn(this, "Timer not started");
    }
    clearEventLog();
}

void TpbxManagerDM::clearEventLog() {
    TLogger::debug(this, "Executing clear event log");
    try {
        frontDB_.connect();
        transEvent_.start();
        clearEventsP_.param("EAI_IFC").setString(kIfcModuleName);
        clearEventsP_.param("INTERESTED_EVENTS").setString(kEventList);
        TLogger::debug(this, "Exec procedure EAI_EVENTQ_CLEAR(%s, %s)",
                       clearEventsP_.param("EAI_IFC").asString(),
                       clearEventsP_.param("INTERESTED_EVENTS").asString());
        clearEventsP_.execute();
        transEvent_.commit();
    } catch (const std::exception& e) {
        if (transEvent_.active()) {
            try {
                transEvent_.rollback();
            } catch (const std::exception&) {
                // The server has ended it with the lost connection.
            }
        }
        TLogger::error(this, e, "Unable to clear event log.");
    }
}

void TpbxManagerDM::executeEvent() {
    executeCycle();
}

rtl::Ref<frame::IPBXAdapter> TpbxManagerDM::getAdapter() {
    if (!configuration_->has("pbx_adapter"))
        return {};
    return rtl::TContextQuery::queryName<frame::IPBXAdapter>(context_.get(),
                                                             configuration_->get("pbx_adapter"));
}

void TpbxManagerDM::executeCycle() {
    TLogger::debug(this, "--- Begin execution --- ");
    adapter_ = getAdapter();
    const auto now = [] {
        return int64_t(std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count());
    };
    if (!adapter_) {
        TLogger::debug(this, "PBX Adapter not defined");
        lastCycle_.finishedAt = now();
        lastCycle_.result = "no adapter";
        return;
    }
    timer_.stop();
    pushedBack_ = 0;
    std::string result = "ok";
    {
        // Whatever happens below, the timer runs again exactly when it should,
        // and the adapter is let go until the next cycle looks it up again.
        AtExit restart([this] {
            adapter_.reset();
            if (interval_ > 0)
                timer_.start();
        });
        try {
            frontDB_.checkConnection();
            transEvent_.start();
            processQueue();
        } catch (const std::exception& e) {
            TLogger::error(this, e, "Execute error.");
            result = "error";
            lastCycle_.lastError = e.what();
        } catch (...) {
            TLogger::error(this, std::runtime_error("unknown exception"), "Execute error.");
            result = "error";
            lastCycle_.lastError = "unknown exception";
        }
    }
    lastCycle_.finishedAt = now();
    lastCycle_.result = result;
    // A cycle rolled back leaves every event it read waiting; their number is
    // not known then, so the last count stands.
    if (result == "ok")
        lastCycle_.eventsWaiting = pushedBack_;
    TLogger::debug(this, "--- End execution --- ");
}

void TpbxManagerDM::processQueue() {
    try {
        getEventsQ_.param("IFC_MODULE_NAME").setString(kIfcModuleName);
        getEventsQ_.param("EVENT_LIST").setString(kEventList);
        getEventsQ_.execute();
        bool any = false;
        while (getEventsQ_.fetch()) {
            any = true;
            const EventRow row = readEventRow();
            // Emptied for every row: an event on which no adapter operation runs
            // must not be stored with the text of the event before it.
            info_.clear();
            // After a stop request the rest of the queue is handed back
            // unprocessed, and so is an event during which the request came:
            // its adapter call may have ended early, so it is not counted as
            // done. The commit below keeps what was done before.
            if (platform::StopRequested()) {
                TLogger::debug(this, "Stopping: event %s left queued", row.code);
                pushBackEvent(row.idEvent);
                ++pushedBack_;
                continue;
            }
            TLogger::debug(this, "New event %s found", row.code);
            if (!dispatch(row) || platform::StopRequested()) {
                pushBackEvent(row.idEvent);
                ++pushedBack_;
            }
            attachEventInfo(row.idEvent, info_);
        }
        if (!any)
            TLogger::debug(this, "No new events of types %s for module %s",
                           getEventsQ_.param("EVENT_LIST").asString(),
                           getEventsQ_.param("IFC_MODULE_NAME").asString());
        getEventsQ_.close();
        transEvent_.commit();
    } catch (...) {
        // Undo the whole cycle's database work: the events come again next
        // tick. What the exchange already did stays done.
        getEventsQ_.close();
        if (transEvent_.active()) {
            try {
                transEvent_.rollback();
            } catch (const std::exception&) {
                // The server has ended it with the lost connection.
            }
        }
        throw;
    }
}

TpbxManagerDM::EventRow TpbxManagerDM::readEventRow() const {
    EventRow row;
    row.idEvent = getEventsQ_.field("ID_EVENT").asInt();
    row.code = Trimmed(getEventsQ_.field("ACTION_CODE").asString());
    row.idRoom = getEventsQ_.field("ID_ROOM").asInt();
    row.line = getEventsQ_.field("LINE").asString();
    row.profileName = getEventsQ_.field("PROFILE_NAME").asString();
    row.checkStatus = getEventsQ_.field("CHECK_STATUS").asInt();
    row.idReservDetail = getEventsQ_.field("ID_RESERV_DETAIL").asInt();
    return row;
}

bool TpbxManagerDM::dispatch(const EventRow& row) {
    for (const Dispatch& entry : kDispatch) {
        if (entry.code == row.code)
            return (this->*entry.handler)(row);
    }
    return false;
}

bool TpbxManagerDM::openEvent(const EventRow& row) {
    return processOpen(row.idRoom, row.code, row.line, row.profileName) &&
           processGuestName(row.code, row.line, row.profileName);
}

bool TpbxManagerDM::reservationEvent(const EventRow& row) {
    return processReservationRooms(row.idRoom, row.code, row.idReservDetail);
}

// A name change of a guest who is not in house has no line to show it on.
bool TpbxManagerDM::guestIdentityEvent(const EventRow& row) {
    return row.checkStatus == 0 && processGuestName(row.code, row.line, row.profileName);
}

bool TpbxManagerDM::closeEvent(const EventRow& row) {
    return processGuestName(row.code, row.line, std::string()) &&
           processClose(row.idRoom, row.code, row.line);
}

bool TpbxManagerDM::processReservationRooms(int idRoom, const std::string& code,
                                            int idReservDetail) {
    AtExit closeQuery([this] { getRoomStatusQ_.close(); });
    getRoomStatusQ_.param("ID_RESERV_DETAIL").setInt(idReservDetail);
    getRoomStatusQ_.execute();
    bool any = false;
    while (getRoomStatusQ_.fetch()) {
        any = true;
        const std::string line = getRoomStatusQ_.field("LINE_NAME").asString();
        const std::string name = getRoomStatusQ_.field("PROFILE_NAME").asString();
        // Every state is recorded against the event's room, whichever room
        // the line belongs to.
        const bool done =
            getRoomStatusQ_.field("IS_FREE").asInt() > 0
                ? processGuestName(code, line, std::string()) && processClose(idRoom, code, line)
                : processOpen(idRoom, code, line, name) && processGuestName(code, line, name);
        if (!done)
            return false;
    }
    if (!any)
        TLogger::debug(this, "No rooms data for event %s for reserv detail %d", code,
                       idReservDetail);
    return true;
}

bool TpbxManagerDM::processOpen(int idRoom, const std::string& code, const std::string& line,
                                const std::string& name) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create(line, name);
    TLogger::debug(this, "Event %s in process - data %s", code, data->toString());
    const bool done = adapter_->openLine(data.get(), info_);
    if (done)
        setRoomStatus(idRoom, kLineOpen, code);
    return done;
}

bool TpbxManagerDM::processClose(int idRoom, const std::string& code, const std::string& line) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create(line, std::string());
    TLogger::debug(this, "Event %s in process - data %s", code, data->toString());
    const bool done = adapter_->closeLine(data.get(), info_);
    if (done)
        setRoomStatus(idRoom, kLineClose, code);
    return done;
}

bool TpbxManagerDM::processGuestName(const std::string& code, const std::string& line,
                                     const std::string& name) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create(line, name);
    TLogger::debug(this, "Event %s in process - data %s", code, data->toString());
    return adapter_->setGuestName(data.get(), info_);
}

void TpbxManagerDM::setRoomStatus(int idRoom, const std::string& status,
                                  const std::string& reason) {
    try {
        setRoomStatusP_.param("EAI_IFC").setString(kIfcModuleName);
        setRoomStatusP_.param("ID_ROOM").setInt(idRoom);
        setRoomStatusP_.param("STATUS_CODE").setString(status);
        setRoomStatusP_.param("REASON_CODE").setString(reason);
        setRoomStatusP_.param("NOTE").setNull();
        TLogger::debug(this, "Exec proc EAI_ROOM_SET_STATUS(%s, %d, %s, %s, null)",
                       setRoomStatusP_.param("EAI_IFC").asString(),
                       setRoomStatusP_.param("ID_ROOM").asInt(),
                       setRoomStatusP_.param("STATUS_CODE").asString(),
                       setRoomStatusP_.param("REASON_CODE").asString());
        setRoomStatusP_.execute();
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Error on set room line state (OPEN/CLOSE)");
        throw;
    }
}

void TpbxManagerDM::pushBackEvent(int idEvent) {
    try {
        frontDB_.checkConnection();
        pushbackEventP_.param("EAI_IFC").setString(kIfcModuleName);
        pushbackEventP_.param("ID_EVENT").setInt(idEvent);
        TLogger::debug(this, "Exec procedure EAI_EVENTQ_PUSHBACK(%s, %d)",
                       pushbackEventP_.param("EAI_IFC").asString(),
                       pushbackEventP_.param("ID_EVENT").asInt());
        pushbackEventP_.execute();
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Unable to pushBack event %d.", idEvent);
    }
}

void TpbxManagerDM::attachEventInfo(int idEvent, const std::string& info) {
    if (info.empty())
        return;
    try {
        frontDB_.checkConnection();
        attachEventInfoP_.param("EAI_IFC").setString(kIfcModuleName);
        attachEventInfoP_.param("ID_EVENT").setInt(idEvent);
        attachEventInfoP_.param("PROCESS_INFO").setBlobText(info);
        TLogger::debug(this, "Exec procedure EAI_EVENTQ_PROCESS(%s, %d, %s)",
                       attachEventInfoP_.param("EAI_IFC").asString(),
                       attachEventInfoP_.param("ID_EVENT").asInt(), info);
        attachEventInfoP_.execute();
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Unable to attach info for event %d.", idEvent);
    }
}

} // namespace quorvin
