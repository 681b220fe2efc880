// Room-status feedback: room states keyed on the room telephones, queued by the
// link library, are written into the front database through its procedure
// EAI_ROOM_STATUS_SET. Each report is tried once and then leaves the queue.
#include "varnel_dm.h"

#include "rtl/logger.h"

#include <fmt/printf.h>

namespace mod_varnel {

namespace {

using rtl::TLogger;

bool Blank(const std::string& text) {
    for (unsigned char c : text)
        if (c > ' ')
            return false;
    return true;
}

// Closes the query's cursor however the report ends.
class CursorClose {
public:
    explicit CursorClose(fbdb::Statement& statement) : statement_(statement) {}
    ~CursorClose() { statement_.close(); }
    CursorClose(const CursorClose&) = delete;
    CursorClose& operator=(const CursorClose&) = delete;

private:
    fbdb::Statement& statement_;
};

} // namespace

void TvarnelDM::changeRoomStates() {
    TLogger::debug(this, "--- Begin room state change --- ");
    try {
        rtl::Ref<IHLDriver> driver = getDriver();
        if (!frontDB_.connected())
            frontDB_.connect();
        frontDB_.checkConnection();

        // A record the library kept after a failed delete would come back for
        // ever: the pass ends when it does.
        int32_t undeleted = -1; // no record has a negative key
        for (;;) {
            TRoomStateRecord record;
            int32_t key = -1;
            bool readable = true;
            try {
                key = driver->GetRoomState(record);
            } catch (const EHLRecordError& e) {
                // An unreadable report would block every later one: it is dropped.
                key = e.key();
                readable = false;
                if (undeleted != key)
                    TLogger::error(this, e, "Room state %d cannot be read and is dropped: %s", key,
                                   e.recordText());
            }
            if (key < 0)
                break;
            if (undeleted == key) {
                TLogger::error(this, "Room state %d is still queued; the pass stops until the next",
                               key);
                break;
            }
            if (readable) {
                try {
                    changeRoomState(record.line, record.isClean, record.text);
                } catch (const std::exception& e) {
                    TLogger::error(this, e, "Room state chang error");
                }
            }
            if (driver->DeleteRoomState(key))
                undeleted = -1;
            else
                undeleted = key;
        }
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Room state chang error.");
    } catch (...) {
        TLogger::error(this, "Room state chang error.");
    }
    TLogger::debug(this, "--- End room state change --- ");
}

void TvarnelDM::changeRoomState(const std::string& line, bool isClean, const std::string& text) {
    TLogger::debug(this, "Changing state for line %s", line);
    getRoomByPhoneQ_.param("LINE").setString(line);
    getRoomByPhoneQ_.execute();
    CursorClose close(getRoomByPhoneQ_);
    // A line the front database does not know: the report is dropped.
    if (!getRoomByPhoneQ_.fetch())
        return;
    const std::string room = getRoomByPhoneQ_.field("ROOM_NAME").asString();
    setRoomState(room, isClean ? "setclean" : "setdirty", "");
    if (!Blank(text))
        setRoomState(room, "settext", text);
}

void TvarnelDM::setRoomState(const std::string& room, const std::string& operation,
                             const std::string& tag) {
    setStateTrans_.start();
    try {
        setRoomStateP_.param("ROOM_NAME").setString(room);
        setRoomStateP_.param("OPERATION").setString(operation);
        setRoomStateP_.param("TAG").setString(tag);
        TLogger::debug(this, "Exec procedure EAI_ROOM_STATUS_SET(%s, %s, %s))", room, operation,
                       tag);
        setRoomStateP_.execute();
        const int code = setRoomStateP_.field("ERR_CODE").asInt();
        const std::string reason = setRoomStateP_.field("ERR_TEXT").asString();
        if (code < 0) {
            if (reason.empty())
                throw EVarnelException(
                    fmt::sprintf("Execution error on EAI_ROOM_STATUS_SET (%d)", code));
            throw EVarnelException(fmt::sprintf("%s (%d)", reason, code));
        }
        setStateTrans_.commit();
    } catch (...) {
        if (setStateTrans_.active()) {
            try {
                setStateTrans_.rollback();
            } catch (...) {
            }
        }
        throw;
    }
}

} // namespace mod_varnel
