// TpbxManagerDM: the PBX manager's working module. On its timer it reads the
// front-desk events queued for "mod_quorvin", turns each into line operations
// on the configured PBX adapter, records the rooms' line states, pushes failed
// events back and stores the adapter's messages, all in one transaction.
#pragma once

#include "frame/front_db.h"
#include "frame/pbxAdapter_int.h"

#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "platform/timer.h"
#include "rtl/configuration.h"
#include "rtl/context.h"

#include <string>
#include <string_view>

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
    // One tick: every queued event, in one transaction. Errors are logged,
    // never raised; the timer runs again afterwards when its interval is above 0.
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
    // One row of the event query; null fields read as 0 or empty.
    struct EventRow {
        int idEvent = 0;
        std::string code; // ACTION_CODE without surrounding blanks
        int idRoom = 0;
        std::string line;
        std::string profileName;
        int checkStatus = 0;
        int idReservDetail = 0;
    };
    using Handler = bool (TpbxManagerDM::*)(const EventRow&);
    struct Dispatch {
        std::string_view code;
        Handler handler;
    };
    static const Dispatch kDispatch[];

    void executeEvent();
    rtl::Ref<frame::IPBXAdapter> getAdapter();
    // The cycle's database work, from the event query to the commit.
    void processQueue();
    EventRow readEventRow() const;
    // The outcome of one event row: false pushes the event back.
    bool dispatch(const EventRow& row);

    // The dispatch table's entries.
    bool openEvent(const EventRow& row);
    bool reservationEvent(const EventRow& row);
    bool guestIdentityEvent(const EventRow& row);
    bool closeEvent(const EventRow& row);

    bool processReservationRooms(int idRoom, const std::string& code, int idReservDetail);
    bool processOpen(int idRoom, const std::string& code, const std::string& line,
                     const std::string& name);
    bool processClose(int idRoom, const std::string& code, const std::string& line);
    bool processGuestName(const std::string& code, const std::string& line,
                          const std::string& name);
    void setRoomStatus(int idRoom, const std::string& status, const std::string& reason);
    void pushBackEvent(int idEvent);
    void attachEventInfo(int idEvent, const std::string& info);

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IConfiguration> configuration_;
    frame::TFrontDB frontDB_;
    fbdb::Transaction transEvent_;
    fbdb::Statement getEventsQ_;
    fbdb::Statement getRoomStatusQ_;
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
    CycleReport lastCycle_;
    int pushedBack_ = 0; // in the running cycle
};

} // namespace quorvin
