// TpbxManagerDM: the PBX manager's working module. On its timer it reads the
// front-desk events queued for "mod_quorvin", turns each into line operations
// on the configured PBX adapter, records the rooms' line states, pushes failed
// events back and stores the adapter's messages, all in one transaction in
// which every event is a unit of work of its own.
#pragma once

#include "frame/front_db.h"
#include "frame/pbxAdapter_int.h"

#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "platform/timer.h"
#include "rtl/configuration.h"
#include "rtl/context.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvin {

// The interface module whose queue is read; also every EAI_IFC value.
inline constexpr const char* kIfcModuleName = "mod_quorvin";
// The event codes the module handles, as the queue procedures take them.
inline constexpr const char* kEventList = "CHECK_IN,CHECK_OUT,CHECK_OUT_EARLY1,CHECK_OUT_EARLY3,"
                                          "ROOM_MOVED,GUEST_IDENT_CHNG,PBX.MANUAL_OPEN,"
                                          "PBX.MANUAL_CLOSE";
// Line states written to the front database.
inline constexpr const char* kLineOpen = "OPEN";
inline constexpr const char* kLineClose = "CLOSE";
// Cycle interval when "timer_interval" is not a number.
inline constexpr int kDefaultTimerInterval = 5000;

class TpbxManagerDM {
public:
    // Keeps both references, then initTimer: the timer is set up, the event
    // log cleared and the front database connected. Never raises for a
    // database that cannot be reached; that is logged and retried each cycle.
    // `configuration` is the plug-in's own section.
    TpbxManagerDM(rtl::Ref<rtl::IContext> context, rtl::Ref<rtl::IConfiguration> configuration);
    // Disconnects when connected.
    ~TpbxManagerDM();
    TpbxManagerDM(const TpbxManagerDM&) = delete;
    TpbxManagerDM& operator=(const TpbxManagerDM&) = delete;

    // Reads "timer_interval" (5000 when it is not a number), runs the timer
    // when it is above 0, then clears the event log.
    void initTimer();
    // Deletes the module's handled events from the queue; errors are logged.
    void clearEventLog();
    // One tick: every queued event, in one transaction in which each event is
    // a unit of work of its own. Errors are logged, never raised; the timer
    // runs again afterwards when its interval is above 0.
    void executeCycle();

    bool timerRunning() const { return timer_.running(); }
    int timerInterval() const { return interval_; }

    // What the last cycle did, for the plug-in's status.
    struct CycleReport {
        int64_t finishedAt = 0; // seconds since the epoch; 0 before the first cycle
        std::string result;     // "ok", "error", "no adapter"
        int eventsWaiting = 0;  // events the cycle left queued (pushed back)
        std::string lastError;  // the last cycle error's text
    };
    const CycleReport& lastCycle() const { return lastCycle_; }

private:
    // One queued event, from the rows the event query gave for it (one row per
    // line of its room). Fields that were null are empty.
    struct QueuedEvent {
        int idEvent = 0;
        std::string code; // ACTION_CODE without surrounding blanks
        std::optional<int> idRoom;
        // The room's lines, each once, in the order the rows came; a room
        // without a line gives one empty line.
        std::vector<std::string> lines;
        std::string profileName;
        std::optional<int> checkStatus;
        std::optional<int> idReservDetail;
    };
    // A line state recorded for an event.
    struct LineState {
        int idRoom = 0;
        std::string status;
        std::string reason;
    };
    // An event whose exchange work is done but whose database work was undone
    // with its cycle (the connection was lost, or another event could not be
    // returned to the queue). When it comes again its states are recorded
    // without calling the adapter a second time.
    struct CarriedOut {
        std::vector<LineState> states;
        std::string info;
    };
    using Handler = bool (TpbxManagerDM::*)(const QueuedEvent&);
    struct Dispatch {
        std::string_view code;
        Handler handler;
    };
    static const Dispatch kDispatch[];
    using EventIterator = std::vector<QueuedEvent>::const_iterator;

    void executeEvent();
    rtl::Ref<frame::IPBXAdapter> getAdapter();
    // The cycle's database work, from the event query to the commit.
    void processQueue();
    // Runs the event query and reads all its rows, grouped by event.
    std::vector<QueuedEvent> takeEvents();
    // One event as a unit of work under a savepoint: done, or undone and
    // pushed back with a text. False when its pushback failed, so that the
    // cycle must be undone for the event to stay queued.
    bool runEvent(const QueuedEvent& event);
    // Returns the events not started to the queue (a cycle that stops early).
    bool leaveQueued(EventIterator from, EventIterator to);
    // The outcome of one event: false pushes the event back.
    bool dispatch(const QueuedEvent& event);
    bool replay(const CarriedOut& done);

    // The dispatch table's entries.
    bool openEvent(const QueuedEvent& event);
    bool reservationEvent(const QueuedEvent& event);
    bool guestIdentityEvent(const QueuedEvent& event);
    bool closeEvent(const QueuedEvent& event);

    bool processReservationRooms(const std::string& code, int idReservDetail);
    // The room of a line in PHONE_LINE_CONVERT (the first by ID_LINE).
    std::optional<int> roomOfLine(const std::string& line);
    bool processOpen(int idRoom, const std::string& code, const std::string& line,
                     const std::string& name);
    bool processClose(int idRoom, const std::string& code, const std::string& line);
    bool processGuestName(const std::string& code, const std::string& line,
                          const std::string& name);
    // An adapter operation; anything it raises becomes an error naming it.
    bool callAdapter(const char* operation, frame::IPBXData* data);
    void setRoomStatus(int idRoom, const std::string& status, const std::string& reason);
    bool pushBackEvent(int idEvent);
    void attachEventInfo(int idEvent, const std::string& info);
    // Raises the cycle's "connection lost" error when the connection no
    // longer answers (which closes it); a reconnection inside the cycle would
    // leave its transaction behind.
    void requireConnection();

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IConfiguration> configuration_;
    frame::TFrontDB frontDB_;
    fbdb::Transaction transEvent_;
    fbdb::Statement getEventsQ_;
    fbdb::Statement getRoomStatusQ_;
    fbdb::Statement getLineRoomQ_;
    fbdb::Statement attachEventInfoP_;
    fbdb::Statement pushbackEventP_;
    fbdb::Statement clearEventsP_;
    fbdb::Statement setRoomStatusP_;
    platform::Timer timer_;
    int interval_ = 0;
    // Held for one cycle only: a new "pbx_adapter" or a newly started adapter
    // counts from the next cycle.
    rtl::Ref<frame::IPBXAdapter> adapter_;
    // The text the adapter operations leave; stored with the event.
    std::string info_;
    // The line states recorded for the event under way.
    std::vector<LineState> recorded_;
    // By ID_EVENT, until a cycle with them commits.
    std::map<int, CarriedOut> carriedOut_;
    CycleReport lastCycle_;
    int pushedBack_ = 0; // in the running cycle
};

} // namespace quorvin
