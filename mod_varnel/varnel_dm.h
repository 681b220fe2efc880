// TvarnelDM: the working module of the hotel-link adapter. It loads and
// connects the link library when first needed and reconnects it when the link
// is found lost; carries out the PBX manager's line operations; and, on its
// polling timer and on the library's notifications, collects out-call tickets
// into the spool file and writes reported room states into the front database.
// Everything runs on the main thread, each piece of work with the timer stopped.
#pragma once

#include "cache_file.h"
#include "hl_driver_int.h"

#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "frame/front_db.h"
#include "frame/pbxAdapter_int.h"
#include "platform/messages.h"
#include "platform/timer.h"
#include "rtl/configuration.h"
#include "rtl/status.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mod_varnel {

// The module's own failures: "Driver IP not defined!", "Driver port not
// defined!", "Error on load or connect\r\n(...)", and refusals of the room-state
// procedure.
class EVarnelException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The folder of the link library's queue files: "varnel.log_path", else
// "varnel.path" (either may be empty: the working folder).
std::string QueueFolder(rtl::IConfiguration& section);

class TvarnelDM {
public:
    // `configuration` is the adapter's section ("mod_varnel"); every key is read
    // again at each use. Starts the polling timer when "timer_interval" asks for it.
    explicit TvarnelDM(rtl::Ref<rtl::IConfiguration> configuration);
    // Disconnects the link library (when connected) and the front database, then
    // lets the library go.
    ~TvarnelDM();
    TvarnelDM(const TvarnelDM&) = delete;
    TvarnelDM& operator=(const TvarnelDM&) = delete;

    // The adapter's line operations: check-in; partial re-initialisation then
    // check-out; the guest's name. They never raise: a failure is false with its
    // text in `info`. The link library's codes that the exchange uses for "already
    // so" count as success (true, with the library's text in `info`).
    bool openLine(frame::IPBXData* data, std::string& info);
    bool closeLine(frame::IPBXData* data, std::string& info);
    bool setGuestName(frame::IPBXData* data, std::string& info);

    // A tick of the polling timer: both passes, then the timer restarted.
    void timerTimer();
    // The application-message hook: the out-call ticket and room status
    // notifications run their pass once a driver has been loaded.
    void msgEventMessage(const platform::Message& message, bool& handled);

    // The connected binding; loads and connects it at first use and reconnects a
    // lost link. Raises EVarnelException "Error on load or connect\r\n(<cause>)".
    rtl::Ref<IHLDriver> getDriver();
    bool hasDriver() const { return bool(driver_); }

    // Drains the out-call ticket queue through the cache into the spool file.
    // Raises nothing; failures are logged.
    void scanOutCallTickets();
    // Appends the cache to the spool file; a failure is logged and leaves the
    // lines in the cache.
    void mergeCache(ICacheFile& cache, const std::string& cacheName);
    // One 162-byte spool line: eight columns of 20 characters and CR LF.
    static std::string formatSpoolLine(const std::string& line, int32_t duration, double callTime,
                                       const std::string& field4, const std::string& field20);

    // Drains the room-state queue into the front database. Raises nothing.
    void changeRoomStates();
    // One report: the line's room marked clean or dirty, then its text stored.
    void changeRoomState(const std::string& line, bool isClean, const std::string& text);
    // One call of EAI_ROOM_STATUS_SET in a transaction of its own; raises
    // EVarnelException when the procedure refuses.
    void setRoomState(const std::string& room, const std::string& operation,
                      const std::string& tag);

    // The timer runs exactly when "timer_interval" is above 0.
    bool startTimer();
    void stopTimer();
    bool timerRunning() const { return timer_.running(); }
    uint32_t timerInterval() const { return timer_.interval(); }

    frame::TFrontDB& frontDB() { return frontDB_; }

    // The link's state ("not loaded" until the first need, then "connected"
    // or "disconnected"), the out-call tickets and room states waiting in the
    // link library's queues and the ticket lines waiting in the cache.
    rtl::TStatus status() const;

    // The files the ticket pass writes, from the configuration.
    std::string cacheFileName() const;
    std::string spoolFileName() const;
    std::string rejectsFileName() const { return spoolFileName() + ".rejected"; }

private:
    void connectDriver();
    // Sets an unreadable ticket aside in the rejects file and deletes it from the
    // queue; false when the queue kept it.
    bool rejectTicket(IHLDriver& driver, const EHLRecordError& error);

    rtl::Ref<rtl::IConfiguration> configuration_;
    rtl::Ref<IHLDriver> driver_;
    // As the last connect or check found it, for status(): asking the library
    // there would log a call at every look.
    bool linkConnected_ = false;
    std::string linkError_;
    platform::Timer timer_;
    platform::MessageHook msgEvent_;

    frame::TFrontDB frontDB_;
    fbdb::Transaction defaultTrans_;
    fbdb::Transaction setStateTrans_;
    fbdb::Statement getRoomByPhoneQ_;
    fbdb::Statement setRoomStateP_;
};

} // namespace mod_varnel
