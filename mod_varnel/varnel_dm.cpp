// The adapter module's life, timer, notifications, driver connection and line
// operations. The two passes live in out_call_tickets.cpp and room_states.cpp.
#include "varnel_dm.h"

#include "hl_driver.h"
#include "value_conversion.h"

#include "rtl/logger.h"
#include "rtl/numbers.h"

#include <fmt/printf.h>

namespace mod_varnel {

namespace {

using rtl::TLogger;

// Restarts the module's timer when a piece of work ends, however it ends.
class TimerRestart {
public:
    explicit TimerRestart(TvarnelDM& dm) : dm_(dm) {}
    ~TimerRestart() { dm_.startTimer(); }
    TimerRestart(const TimerRestart&) = delete;
    TimerRestart& operator=(const TimerRestart&) = delete;

private:
    TvarnelDM& dm_;
};

fbdb::TransactionOptions ReadTransaction() {
    return fbdb::TransactionOptions::FromWords({"read", "nowait", "rec_version", "read_committed"});
}

// Results of the link library that mean the exchange is already where the
// operation wants it.
bool AcceptedRefusal(int32_t code, int32_t highest) {
    return code >= 1 && code <= highest;
}

} // namespace

std::string QueueFolder(rtl::IConfiguration& section) {
    const std::string logPath = section.get("varnel.log_path");
    return logPath.empty() ? section.get("varnel.path") : logPath;
}

TvarnelDM::TvarnelDM(rtl::Ref<rtl::IConfiguration> configuration)
    : configuration_(std::move(configuration)), timer_([this] { timerTimer(); }),
      msgEvent_([this](const platform::Message& m, bool& handled) { msgEventMessage(m, handled); }),
      frontDB_("TvarnelDM", configuration_),
      defaultTrans_(frontDB_.connection(), ReadTransaction()),
      setStateTrans_(frontDB_.connection()), getRoomByPhoneQ_(frontDB_.connection(), defaultTrans_,
                                                              "select plc.room_name\n"
                                                              "  from phone_line_convert plc\n"
                                                              "  where (plc.line = :line)"),
      setRoomStateP_(frontDB_.connection(), setStateTrans_,
                     "EXECUTE PROCEDURE EAI_ROOM_STATUS_SET (?ROOM_NAME, ?OPERATION, ?TAG)") {
    getRoomByPhoneQ_.setStartsTransaction(true);
    if (startTimer())
        TLogger::debug(this, "Timer started on %d", timer_.interval());
    else
        TLogger::warn(this, "Timer not started");
}

TvarnelDM::~TvarnelDM() {
    // Disconnecting dispatches events: no tick or notification may start a pass
    // in a module that is going away.
    msgEvent_.remove();
    timer_.stop();
    if (driver_) {
        try {
            if (driver_->IsDrvConnected())
                driver_->Disconnect();
        } catch (const std::exception& e) {
            TLogger::error(this, e, "Error on disconnect");
        } catch (...) {
            TLogger::error(this, "Error on disconnect");
        }
    }
    try {
        frontDB_.disconnect();
    } catch (const std::exception& e) {
        // Closed in any case. The database client also ends its connections by
        // itself when the process is told to stop (SIGTERM, SIGINT).
        TLogger::warn(this, "Disconnect from DB failed: %s", e.what());
    }
    driver_.reset();
}

// ---------------------------------------------------------------------- timer

bool TvarnelDM::startTimer() {
    const int32_t interval = rtl::IntOr(configuration_->get("timer_interval"), 0);
    timer_.setInterval(interval > 0 ? uint32_t(interval) : 0);
    if (interval <= 0)
        return false;
    timer_.start();
    TLogger::debug(this, "Timer started");
    return true;
}

void TvarnelDM::stopTimer() {
    timer_.stop();
    timer_.setInterval(0);
    TLogger::debug(this, "Timer stoped");
}

void TvarnelDM::timerTimer() {
    TLogger::debug(this, "Execute on timer.");
    stopTimer();
    TimerRestart restart(*this);
    // Each pass logs its own failures, so the second runs after a failed first.
    scanOutCallTickets();
    changeRoomStates();
}

void TvarnelDM::msgEventMessage(const platform::Message& message, bool& handled) {
    handled = false;
    try {
        // Notifications count only once a tick or a line operation loaded the library.
        if (!driver_)
            return;
        const bool outCallTicket = driver_->IsOutCallTicketMessage(message);
        const bool roomStatus = !outCallTicket && driver_->IsRoomStatusMessage(message);
        if (!outCallTicket && !roomStatus)
            return;
        stopTimer();
        TimerRestart restart(*this);
        TLogger::debug(this, "Execute after win message.");
        if (outCallTicket)
            scanOutCallTickets();
        else
            changeRoomStates();
        handled = true;
    } catch (const std::exception& e) {
        TLogger::error(this, e, "On message event error");
    } catch (...) {
        TLogger::error(this, "On message event error");
    }
}

// --------------------------------------------------------------------- driver

rtl::Ref<IHLDriver> TvarnelDM::getDriver() {
    try {
        if (!driver_) {
            // Held from here on, also when connecting fails: the next use connects again.
            driver_ = THLDriver::Create(configuration_->get("varnel.path"));
            connectDriver();
        } else if (!driver_->IsDrvConnected()) {
            TLogger::debug(this, "No connection to HoletLink driver -> reconnect");
            linkConnected_ = false;
            driver_->Disconnect();
            connectDriver();
        }
        linkConnected_ = true;
    } catch (const std::exception& e) {
        linkConnected_ = false;
        linkError_ = e.what();
        throw EVarnelException(fmt::sprintf("Error on load or connect\r\n(%s)", e.what()));
    }
    return driver_;
}

void TvarnelDM::connectDriver() {
    const std::string host = configuration_->get("varnel.driver_ip");
    if (host.empty())
        throw EVarnelException("Driver IP not defined!");
    const int32_t port = rtl::IntOr(configuration_->get("varnel.driver_port"), -1);
    if (port == -1)
        throw EVarnelException("Driver port not defined!");
    driver_->Connect(host, port, IncludeTrailingPathDelimiter(QueueFolder(*configuration_)));
}

// ------------------------------------------------------------ line operations

bool TvarnelDM::openLine(frame::IPBXData* data, std::string& info) {
    TLogger::debug(this, "--- Begin open line ---");
    stopTimer();
    info.clear();
    bool result = false;
    try {
        const int32_t language = rtl::IntOr(configuration_->get("check_in.def_language"), 1);
        const std::string password = configuration_->get("check_in.def_password", "4827");
        getDriver()->CheckIn(data->line(), data->name(), int16_t(language), password, true);
        result = true;
    } catch (const EHLDriverError& e) {
        info = e.what();
        if (AcceptedRefusal(e.errorCode(), 2)) {
            TLogger::debug(this, "Error on Open: %s", info);
            result = true;
        } else {
            TLogger::error(this, e, "Error on Open");
        }
    } catch (const std::exception& e) {
        info = e.what();
        TLogger::error(this, e, "Error on Open");
    } catch (...) {
        TLogger::error(this, "Error on Open: unknown error");
    }
    startTimer();
    TLogger::debug(this, "--- End open line ---");
    return result;
}

bool TvarnelDM::closeLine(frame::IPBXData* data, std::string& info) {
    TLogger::debug(this, "--- Begin close line ---");
    stopTimer();
    info.clear();
    bool result = false;
    try {
        rtl::Ref<IHLDriver> driver = getDriver();
        // A refused re-initialisation ends the operation before the check-out.
        driver->PartialReinitialize(data->line(), 20000);
        driver->CheckOut(data->line(), true);
        result = true;
    } catch (const EHLDriverError& e) {
        info = e.what();
        if (AcceptedRefusal(e.errorCode(), 2)) {
            TLogger::debug(this, "Error on Close: %s", info);
            result = true;
        } else {
            TLogger::error(this, e, "Error on Close: %s", info);
        }
    } catch (const std::exception& e) {
        info = e.what();
        TLogger::error(this, e, "Error on Close");
    } catch (...) {
        TLogger::error(this, "Error on Close: unknown error");
    }
    startTimer();
    TLogger::debug(this, "--- End close line ---");
    return result;
}

bool TvarnelDM::setGuestName(frame::IPBXData* data, std::string& info) {
    TLogger::debug(this, "--- Begin set guest name ---");
    stopTimer();
    info.clear();
    bool result = false;
    try {
        // An empty name clears the one shown.
        getDriver()->SetName(data->line(), data->name(), true);
        result = true;
    } catch (const EHLDriverError& e) {
        info = e.what();
        if (AcceptedRefusal(e.errorCode(), 3)) {
            TLogger::debug(this, "Error on SetGuestName: %s", info);
            result = true;
        } else {
            TLogger::error(this, e, "Error on SetGuestName: %s", info);
        }
    } catch (const std::exception& e) {
        info = e.what();
        TLogger::error(this, e, "Error on SetGuestName");
    } catch (...) {
        TLogger::error(this, "Error on SetGuestName: unknown error");
    }
    startTimer();
    TLogger::debug(this, "--- End set guest name ---");
    return result;
}

} // namespace mod_varnel
