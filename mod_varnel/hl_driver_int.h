// IHLDriver: the link library's whole C interface as one typed interface, with
// the records its event queues hand out and the errors a call raises. The
// adapter module holds the one binding (THLDriver) and lends it to its passes.
#pragma once

#include "platform/messages.h"
#include "rtl/dateparsing.h"
#include "rtl/ifc_object.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace mod_varnel {

// A refusal of the link library (errorCode = its result, message "<text> (<result>)")
// or a failure of the binding itself (errorCode 0).
class EHLDriverError : public std::runtime_error {
public:
    // From a link-library result and its message text.
    EHLDriverError(const std::string& text, int32_t result);
    // The binding's own message.
    explicit EHLDriverError(const std::string& message)
        : std::runtime_error(message), errorCode_(0) {}
    int32_t errorCode() const noexcept { return errorCode_; }

private:
    int32_t errorCode_;
};

// A queue record as the library's queue file holds it: "key|text|...|" (the texts as
// the getter handed them out). Keys are not unique, so this whole text is what tells
// one record from another.
std::string QueueRecordText(int32_t key, const std::vector<std::string>& texts);

// A queued record whose number text cannot be read. It carries the key the
// getter returned and the record's texts, so a caller can set the record aside
// instead of meeting it again at every pass.
class EHLRecordError : public rtl::EConvertError {
public:
    EHLRecordError(const std::string& reason, int32_t key, std::vector<std::string> texts);
    int32_t key() const noexcept { return key_; }
    const std::vector<std::string>& texts() const { return texts_; }
    // The record as the library's queue file holds it: "key|text|...|".
    std::string recordText() const;

private:
    int32_t key_;
    std::vector<std::string> texts_;
};

// Causes of a wake-up event, by the cause text the library returns.
enum class WakeUpCause {
    Acknowledge = 0,        // "Acknowledge"
    NotAcknowledgeFree = 1, // "Not acknowledge : Free"
    NotAcknowledgeBusy = 2, // "Not acknowledge : Busy"
    SetInaccessible = 3,    // "Set Inaccessible (OUT OF ORDER)"
    Programmed = 4,         // "Programmed (wake-up)"
    Cancelled = 5,          // "Cancelled (wake-up)"
};

// The records of the event queues, converted. Date-times count days from
// 30 December 1899; `time` is the library's date stamp of the record.
struct TCheckInRecord {
    std::string line;
    std::string name;
    int16_t language = 0;
    std::string password;
    uint8_t barring = 0;
    double wakeUpTime = 0;
    uint8_t doNotDisturb = 0;
    double time = 0;
};

struct TCheckOutRecord {
    std::string line;
    double time = 0;
};

// The fields are named by their positions in the driver's frame.
struct TFullReinitRecord {
    std::string line;
    std::string text;
    std::string field12;
    std::string field21;
    int16_t field41 = 0;
    std::string field46;
    uint8_t field50 = 0;
    double field62 = 0;
    uint8_t field67 = 0;
    int16_t field79 = 0;
    std::string field80;
    double time = 0;
};

struct TPartialReinitRecord {
    std::string line;
    std::string text;
    std::string field12;
    std::string field20;
    double time = 0;
};

struct TModificationRecord {
    std::string line;
    std::string name;
    std::string field22;
    int16_t field33 = 0;
    std::string field38;
    uint8_t field42 = 0;
    double field54 = 0;
    bool field58 = false;
    uint8_t field59 = 0;
    double time = 0;
};

struct TPhoneAllocationRecord {
    std::string line;
    std::string phone;
    double time = 0;
};

struct TRoomStateRecord {
    std::string line;
    bool isClean = false;
    std::string text;
    double time = 0;
};

// An in-call or out-call ticket.
struct TCallTicketRecord {
    std::string line;
    std::string callType;
    double callTime = 0;
    int32_t duration = 0; // seconds
    std::string field4;
    std::string field20;
    double time = 0;
    // The record's seven texts as the library handed them out (call time and
    // duration unconverted).
    std::vector<std::string> texts;
};

struct TWakeUpRecord {
    std::string line;
    WakeUpCause cause = WakeUpCause::Acknowledge;
    double wakeUpTime = 0; // date and time of the wake-up
    double field31 = 0;
    double time = 0;
};

// Commands raise EHLDriverError for any result but 0. A getter answers the
// record key, or -1 when its queue is empty; the record is converted only when
// the answer shows one (0 or more; above 0 for check-outs and tickets) and is
// left untouched otherwise. A delete answers whether the record was removed.
class IHLDriver : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{BB95089D-CB32-488E-9910-274AEBF16DA9}");
    using Base = rtl::IImplemented;

    virtual void Connect(const std::string& driverHost, int32_t driverPort,
                         const std::string& queueFolder) = 0;
    virtual void Disconnect() = 0;
    virtual bool IsDrvConnected() = 0;

    virtual void CheckIn(const std::string& line, const std::string& name, int16_t language,
                         const std::string& password, bool wait) = 0;
    virtual void CheckOut(const std::string& line, bool wait) = 0;
    virtual void AllocatePhone(const std::string& line, std::string& phone) = 0;
    virtual void GetAllocatedPhone(const std::string& line, std::string& phone) = 0;
    virtual void SetName(const std::string& line, const std::string& name, bool wait) = 0;
    virtual void SetLanguage(const std::string& line, int16_t language, bool wait) = 0;
    virtual void SetPassword(const std::string& line, const std::string& password, bool wait) = 0;
    virtual void SetBarring(const std::string& line, uint8_t barring, bool wait) = 0;
    virtual void SetWakeUpTime(const std::string& line, double time, bool wait) = 0;
    virtual void StopWakeUp(const std::string& line, bool wait) = 0;
    virtual void SetDoNotDistrib(const std::string& line, uint8_t doNotDisturb, bool wait) = 0;
    virtual void FullReinitialize(const std::string& line, int32_t waitTime) = 0;
    virtual void PartialReinitialize(const std::string& line, int32_t waitTime) = 0;

    virtual int32_t GetCheckIn(TCheckInRecord& record) = 0;
    virtual bool DeleteCheckIn(int32_t key) = 0;
    virtual int32_t GetCheckOut(TCheckOutRecord& record) = 0;
    virtual bool DeleteCheckOut(int32_t key) = 0;
    virtual int32_t GetFullReinit(TFullReinitRecord& record) = 0;
    virtual bool DeleteFullReinit(int32_t key) = 0;
    virtual int32_t GetPartialReinit(TPartialReinitRecord& record) = 0;
    virtual bool DeletePartialReinit(int32_t key) = 0;
    virtual int32_t GetModification(TModificationRecord& record) = 0;
    virtual bool DeleteModification(int32_t key) = 0;
    virtual int32_t GetPhoneAllocation(TPhoneAllocationRecord& record) = 0;
    virtual bool DeletePhoneAllocation(int32_t key) = 0;
    virtual int32_t GetRoomState(TRoomStateRecord& record) = 0;
    virtual bool DeleteRoomState(int32_t key) = 0;
    virtual int32_t GetInTicket(TCallTicketRecord& record) = 0;
    virtual bool DeleteInTicket(int32_t key) = 0;
    virtual int32_t GetOutTicket(TCallTicketRecord& record) = 0;
    virtual bool DeleteOutTicket(int32_t key) = 0;
    virtual int32_t GetWakeUpEvent(TWakeUpRecord& record) = 0;
    virtual bool DeleteWakeUpEvent(int32_t key) = 0;

    // Whether a broadcast is the notification of the named kind.
    virtual bool IsInCallTicketMessage(const platform::Message& message) = 0;
    virtual bool IsOutCallTicketMessage(const platform::Message& message) = 0;
    virtual bool IsWakeUpMessage(const platform::Message& message) = 0;
    virtual bool IsRoomStatusMessage(const platform::Message& message) = 0;
    virtual bool IsFullReinitDoneMessage(const platform::Message& message) = 0;
    virtual bool IsPartialReinitDoneMessage(const platform::Message& message) = 0;
    virtual bool IsCheckInMessage(const platform::Message& message) = 0;
    virtual bool IsCheckOutMessage(const platform::Message& message) = 0;
    virtual bool IsPhoneAllocMessage(const platform::Message& message) = 0;
    virtual bool IsModifyMessage(const platform::Message& message) = 0;

protected:
    ~IHLDriver() = default;
};

} // namespace mod_varnel
