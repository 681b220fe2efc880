#include "pbx_manager_dm.h"

#include "fbdb/savepoint.h"
#include "platform/stop_request.h"
#include "rtl/logger.h"
#include "rtl/numbers.h"

#include <fmt/format.h>

#include <algorithm>
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
// The room a line belongs to; several rooms listing one line take the first.
const char* const kLineRoomSql = "select first 1 r.ID_ROOM\n"
                                 "  from PHONE_LINE_CONVERT plc\n"
                                 "  join ROOMS r on r.ROOM_NAME = plc.ROOM_NAME\n"
                                 " where plc.LINE = :LINE_NAME\n"
                                 " order by plc.ID_LINE";
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

std::optional<int> IntOrNull(const fbdb::Field& field) {
    return field.isNull() ? std::nullopt : std::optional<int>(field.asInt());
}

// The name of the savepoint of each event's unit of work; one at a time.
const char* const kEventSavepoint = "PBX_EVENT";

// An event that cannot be applied as it stands: its text is stored with it.
class EEventNotApplied : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The front database stopped answering in the middle of a cycle: the cycle's
// transaction is gone, and nothing more can be recorded until the next tick
// connects again.
class EConnectionLost : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
      getLineRoomQ_(frontDB_.connection(), transEvent_, kLineRoomSql),
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
    interval_ = rtl::IntOr(configuration_->get("timer_interval"), kDefaultTimerInterval);
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
        } catch (const EConnectionLost& e) {
            TLogger::error(this, e,
                           "The connection to the front database was lost during the cycle; the "
                           "events not finished come again at the next tick.");
            result = "error";
            lastCycle_.lastError = e.what();
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
        const std::vector<QueuedEvent> events = takeEvents();
        if (events.empty())
            TLogger::debug(this, "No new events of types %s for module %s",
                           getEventsQ_.param("EVENT_LIST").asString(),
                           getEventsQ_.param("IFC_MODULE_NAME").asString());
        bool committable = true;
        for (auto next = events.begin(); next != events.end(); ++next) {
            // After a stop request the events not started go back to the queue
            // unprocessed, and the commit below keeps what was done before.
            if (platform::StopRequested()) {
                TLogger::debug(this, "Stopping: %d event(s) left queued", int(events.end() - next));
                committable &= leaveQueued(next, events.end());
                break;
            }
            committable &= runEvent(*next);
        }
        if (committable) {
            transEvent_.commit();
            carriedOut_.clear();
            return;
        }
        // An event that could not be pushed back would count as handled if
        // this committed; undone, every event of the cycle is queued again.
        TLogger::error(this, "The cycle is undone so that no event is lost: every event of it "
                             "comes again at the next tick; those carried out are not sent to "
                             "the exchange again.");
        pushedBack_ = int(events.size());
        transEvent_.rollback();
    } catch (...) {
        // Undo the whole cycle's database work: the events come again next
        // tick. What the exchange already did is remembered in carriedOut_.
        getEventsQ_.close();
        getRoomStatusQ_.close();
        getLineRoomQ_.close();
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

std::vector<TpbxManagerDM::QueuedEvent> TpbxManagerDM::takeEvents() {
    getEventsQ_.param("IFC_MODULE_NAME").setString(kIfcModuleName);
    getEventsQ_.param("EVENT_LIST").setString(kEventList);
    getEventsQ_.execute();
    // Read to the end before any event is worked on: the events' savepoints
    // then never cut through the query's hand-out of the queue, and a room
    // with several lines is one event with several lines, not several events.
    std::vector<QueuedEvent> events;
    while (getEventsQ_.fetch()) {
        const int idEvent = getEventsQ_.field("ID_EVENT").asInt();
        auto event = std::find_if(events.begin(), events.end(),
                                  [&](const QueuedEvent& e) { return e.idEvent == idEvent; });
        if (event == events.end()) {
            QueuedEvent e;
            e.idEvent = idEvent;
            e.code = Trimmed(getEventsQ_.field("ACTION_CODE").asString());
            e.idRoom = IntOrNull(getEventsQ_.field("ID_ROOM"));
            e.profileName = getEventsQ_.field("PROFILE_NAME").asString();
            e.checkStatus = IntOrNull(getEventsQ_.field("CHECK_STATUS"));
            e.idReservDetail = IntOrNull(getEventsQ_.field("ID_RESERV_DETAIL"));
            events.push_back(std::move(e));
            event = events.end() - 1;
        }
        const std::string line = getEventsQ_.field("LINE").asString();
        if (std::find(event->lines.begin(), event->lines.end(), line) == event->lines.end())
            event->lines.push_back(line);
    }
    return events;
}

bool TpbxManagerDM::runEvent(const QueuedEvent& event) {
    // Emptied for every event: an event on which no adapter operation runs
    // must not be stored with the text of the event before it.
    info_.clear();
    recorded_.clear();
    TLogger::debug(this, "New event %s found", event.code);
    // A savepoint that cannot be set or ended means a connection that is gone.
    const auto onDatabase = [this](auto&& step) {
        try {
            step();
        } catch (const std::exception&) {
            requireConnection();
            throw;
        }
    };
    std::optional<fbdb::Savepoint> unit;
    onDatabase([&] { unit.emplace(transEvent_, kEventSavepoint); });
    bool done = false;
    bool failed = false;
    try {
        const auto carried = carriedOut_.find(event.idEvent);
        if (carried != carriedOut_.end()) {
            TLogger::debug(this,
                           "Event %d was carried out in a cycle that was undone; its line states "
                           "are recorded without calling the adapter again",
                           event.idEvent);
            done = replay(carried->second);
        } else {
            done = dispatch(event);
            // A stop request that came during the adapter's call may have cut
            // it short: the event is not counted as done and comes again.
            if (done && platform::StopRequested()) {
                TLogger::debug(this, "Event %d (%s) stays queued: the host is stopping",
                               event.idEvent, event.code);
                done = false;
            }
        }
    } catch (const std::exception& e) {
        // Nothing can be recorded on a connection that is gone: the cycle ends.
        requireConnection();
        TLogger::error(this, e, "Event %d (%s) not done; it stays queued.", event.idEvent,
                       event.code);
        info_ = e.what();
        failed = true;
    } catch (...) {
        requireConnection();
        info_ = "Unknown error";
        failed = true;
        TLogger::error(this, "Event %d (%s) not done; it stays queued: unknown error.",
                       event.idEvent, event.code);
    }
    if (done) {
        onDatabase([&] { unit->release(); });
        carriedOut_[event.idEvent] = CarriedOut{recorded_, info_};
        attachEventInfo(event.idEvent, info_);
        return true;
    }
    // A refusal keeps the states of what the exchange did before it; a failure
    // undoes all of the event's database work.
    if (failed)
        onDatabase([&] { unit->rollback(); });
    else
        onDatabase([&] { unit->release(); });
    const bool queued = pushBackEvent(event.idEvent);
    attachEventInfo(event.idEvent, info_);
    return queued;
}

bool TpbxManagerDM::leaveQueued(EventIterator from, EventIterator to) {
    bool queued = true;
    for (; from != to; ++from)
        queued &= pushBackEvent(from->idEvent);
    return queued;
}

bool TpbxManagerDM::dispatch(const QueuedEvent& event) {
    for (const Dispatch& entry : kDispatch) {
        if (entry.code == event.code)
            return (this->*entry.handler)(event);
    }
    return false;
}

bool TpbxManagerDM::replay(const CarriedOut& done) {
    for (const LineState& state : done.states)
        setRoomStatus(state.idRoom, state.status, state.reason);
    info_ = done.info;
    return true;
}

// Opening and closing record the state against the event's room: an event
// that names no room (a manual action logged without one, or a logged object
// that is no room) could never be recorded, so it goes nowhere near the
// exchange.
bool TpbxManagerDM::openEvent(const QueuedEvent& event) {
    if (!event.idRoom)
        throw EEventNotApplied(fmt::format(
            "Event {} ({}) names no room of the hotel; nothing was sent to the exchange.",
            event.idEvent, event.code));
    for (const std::string& line : event.lines) {
        if (!processOpen(*event.idRoom, event.code, line, event.profileName) ||
            !processGuestName(event.code, line, event.profileName))
            return false;
    }
    return true;
}

bool TpbxManagerDM::reservationEvent(const QueuedEvent& event) {
    return processReservationRooms(event.code, event.idReservDetail.value_or(0));
}

// A name change of a guest who is not in house has no line to show it on; one
// without a stay does not say whose name it is.
bool TpbxManagerDM::guestIdentityEvent(const QueuedEvent& event) {
    if (!event.idReservDetail || !event.checkStatus)
        throw EEventNotApplied(fmt::format(
            "Event {} ({}) has no stay, so it does not say whose name changed; nothing was sent "
            "to the exchange.",
            event.idEvent, event.code));
    if (*event.checkStatus != 0)
        return false;
    for (const std::string& line : event.lines) {
        if (!processGuestName(event.code, line, event.profileName))
            return false;
    }
    return true;
}

bool TpbxManagerDM::closeEvent(const QueuedEvent& event) {
    if (!event.idRoom)
        throw EEventNotApplied(fmt::format(
            "Event {} ({}) names no room of the hotel; nothing was sent to the exchange.",
            event.idEvent, event.code));
    for (const std::string& line : event.lines) {
        if (!processGuestName(event.code, line, std::string()) ||
            !processClose(*event.idRoom, event.code, line))
            return false;
    }
    return true;
}

bool TpbxManagerDM::processReservationRooms(const std::string& code, int idReservDetail) {
    struct RoomLine {
        std::string line;
        bool free = false;
        std::string name;
        int idRoom = 0;
    };
    std::vector<RoomLine> lines;
    {
        AtExit closeQuery([this] { getRoomStatusQ_.close(); });
        getRoomStatusQ_.param("ID_RESERV_DETAIL").setInt(idReservDetail);
        getRoomStatusQ_.execute();
        while (getRoomStatusQ_.fetch()) {
            RoomLine l{getRoomStatusQ_.field("LINE_NAME").asString(),
                       getRoomStatusQ_.field("IS_FREE").asInt() > 0,
                       getRoomStatusQ_.field("PROFILE_NAME").asString()};
            const bool seen = std::any_of(lines.begin(), lines.end(), [&](const RoomLine& o) {
                return o.line == l.line && o.free == l.free;
            });
            if (!seen)
                lines.push_back(std::move(l));
        }
    }
    if (lines.empty()) {
        TLogger::debug(this, "No rooms data for event %s for reserv detail %d", code,
                       idReservDetail);
        return true;
    }
    // Each state is recorded against the room its line belongs to (after a
    // move: the old room's lines closed, the new room's opened); a line of no
    // room is found out before anything reaches the exchange.
    for (RoomLine& l : lines) {
        const std::optional<int> room = roomOfLine(l.line);
        if (!room)
            throw EEventNotApplied(fmt::format(
                "Line \"{}\" of reserv detail {} belongs to no room in PHONE_LINE_CONVERT; "
                "nothing was sent to the exchange.",
                l.line, idReservDetail));
        l.idRoom = *room;
    }
    for (const RoomLine& l : lines) {
        const bool done = l.free ? processGuestName(code, l.line, std::string()) &&
                                       processClose(l.idRoom, code, l.line)
                                 : processOpen(l.idRoom, code, l.line, l.name) &&
                                       processGuestName(code, l.line, l.name);
        if (!done)
            return false;
    }
    return true;
}

std::optional<int> TpbxManagerDM::roomOfLine(const std::string& line) {
    AtExit closeQuery([this] { getLineRoomQ_.close(); });
    getLineRoomQ_.param("LINE_NAME").setString(line);
    getLineRoomQ_.execute();
    if (!getLineRoomQ_.fetch())
        return std::nullopt;
    return getLineRoomQ_.field("ID_ROOM").asInt();
}

bool TpbxManagerDM::processOpen(int idRoom, const std::string& code, const std::string& line,
                                const std::string& name) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create(line, name);
    TLogger::debug(this, "Event %s in process - data %s", code, data->toString());
    const bool done = callAdapter("openLine", data.get());
    if (done)
        setRoomStatus(idRoom, kLineOpen, code);
    return done;
}

bool TpbxManagerDM::processClose(int idRoom, const std::string& code, const std::string& line) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create(line, std::string());
    TLogger::debug(this, "Event %s in process - data %s", code, data->toString());
    const bool done = callAdapter("closeLine", data.get());
    if (done)
        setRoomStatus(idRoom, kLineClose, code);
    return done;
}

bool TpbxManagerDM::processGuestName(const std::string& code, const std::string& line,
                                     const std::string& name) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create(line, name);
    TLogger::debug(this, "Event %s in process - data %s", code, data->toString());
    return callAdapter("setGuestName", data.get());
}

bool TpbxManagerDM::callAdapter(const char* operation, frame::IPBXData* data) {
    const std::string what = fmt::format("The adapter failed in {}({})", operation, data->line());
    try {
        if (std::string_view(operation) == "openLine")
            return adapter_->openLine(data, info_);
        if (std::string_view(operation) == "closeLine")
            return adapter_->closeLine(data, info_);
        return adapter_->setGuestName(data, info_);
    } catch (const std::exception& e) {
        throw std::runtime_error(what + ": " + e.what());
    } catch (...) {
        throw std::runtime_error(what + ": unknown exception");
    }
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
        recorded_.push_back(LineState{idRoom, status, reason});
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Error on set room line state (OPEN/CLOSE)");
        throw std::runtime_error(fmt::format("The line state {} of room {} was not recorded: {}",
                                             status, idRoom, e.what()));
    }
}

bool TpbxManagerDM::pushBackEvent(int idEvent) {
    try {
        pushbackEventP_.param("EAI_IFC").setString(kIfcModuleName);
        pushbackEventP_.param("ID_EVENT").setInt(idEvent);
        TLogger::debug(this, "Exec procedure EAI_EVENTQ_PUSHBACK(%s, %d)",
                       pushbackEventP_.param("EAI_IFC").asString(),
                       pushbackEventP_.param("ID_EVENT").asInt());
        pushbackEventP_.execute();
        ++pushedBack_;
        return true;
    } catch (const std::exception& e) {
        requireConnection();
        TLogger::error(this, e, "Unable to pushBack event %d.", idEvent);
        return false;
    }
}

void TpbxManagerDM::attachEventInfo(int idEvent, const std::string& info) {
    if (info.empty())
        return;
    try {
        attachEventInfoP_.param("EAI_IFC").setString(kIfcModuleName);
        attachEventInfoP_.param("ID_EVENT").setInt(idEvent);
        attachEventInfoP_.param("PROCESS_INFO").setBlobText(info);
        TLogger::debug(this, "Exec procedure EAI_EVENTQ_PROCESS(%s, %d, %s)",
                       attachEventInfoP_.param("EAI_IFC").asString(),
                       attachEventInfoP_.param("ID_EVENT").asInt(), info);
        attachEventInfoP_.execute();
    } catch (const std::exception& e) {
        requireConnection();
        // Only the text is lost; the event itself is queued or done as it was.
        TLogger::error(this, e, "Unable to attach info for event %d.", idEvent);
    }
}

void TpbxManagerDM::requireConnection() {
    if (frontDB_.connected() && frontDB_.connection().ping())
        return;
    throw EConnectionLost("the front database does not answer");
}

} // namespace quorvin
