#include "hl_driver.h"

#include "value_conversion.h"

#include "platform/error.h"
#include "rtl/logger.h"
#include "rtl/numbers.h"
#include "varnel/varnel.h"

#include <fmt/printf.h>

#include <cstdlib>
#include <utility>

namespace mod_varnel {

namespace {

using rtl::TLogger;

// An out-text of the C interface: the library frees what it replaces and the
// binding frees what it was given last.
class OutText {
public:
    OutText() = default;
    ~OutText() { std::free(value_); }
    OutText(const OutText&) = delete;
    OutText& operator=(const OutText&) = delete;
    char** ptr() { return &value_; }
    std::string str() const { return value_ ? std::string(value_) : std::string(); }

private:
    char* value_ = nullptr;
};

// An empty text goes to the library as a null pointer.
const char* In(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

int32_t Flag(bool value) {
    return value ? 1 : 0;
}

const char* BoolText(bool value) {
    return value ? "True" : "False";
}

// The library's cause texts, in the order of WakeUpCause.
constexpr const char* WakeUpCauseTexts[] = {
    "Acknowledge",
    "Not acknowledge : Free",
    "Not acknowledge : Busy",
    "Set Inaccessible (OUT OF ORDER)",
    "Programmed (wake-up)",
    "Cancelled (wake-up)",
};

WakeUpCause CauseOf(const std::string& text) {
    for (size_t i = 0; i < std::size(WakeUpCauseTexts); ++i)
        if (text == WakeUpCauseTexts[i])
            return WakeUpCause(i);
    throw EHLDriverError(fmt::sprintf("Not supported wake up event cause: %s", text));
}

template <size_t N> std::string Joined(const std::array<OutText, N>& texts) {
    std::string joined;
    for (size_t i = 0; i < N; ++i) {
        if (i > 0)
            joined += ", ";
        joined += texts[i].str();
    }
    return joined;
}

template <size_t N> std::vector<std::string> Strings(const std::array<OutText, N>& texts) {
    std::vector<std::string> strings;
    for (const OutText& t : texts)
        strings.push_back(t.str());
    return strings;
}

double HourMinute(const std::string& text) {
    return parseDateTimeOrZero(text, "hh:nn");
}

} // namespace

EHLDriverError::EHLDriverError(const std::string& text, int32_t result)
    : std::runtime_error(fmt::sprintf("%s (%d)", text, result)), errorCode_(result) {}

EHLRecordError::EHLRecordError(const std::string& reason, int32_t key,
                               std::vector<std::string> texts)
    : rtl::EConvertError(reason), key_(key), texts_(std::move(texts)) {}

std::string EHLRecordError::recordText() const {
    std::string text = std::to_string(key_) + "|";
    for (const std::string& t : texts_)
        text += t + "|";
    return text;
}

THLDriver::THLDriver(const std::string& path) {
    const std::string file = path.empty() ? std::string(VarnelLibraryFile)
                                          : IncludeTrailingPathDelimiter(path) + VarnelLibraryFile;
    TLogger::debug(this, "Executing LoadLibrary(%s)", file);
    try {
        library_ = platform::DynamicLibrary(file);
    } catch (...) {
        TLogger::debug(this, "Library %s was loaded", file);
        throw;
    }
    TLogger::debug(this, "Library %s was loaded", file);
    registerMessages();
}

THLDriver::~THLDriver() {
    if (!library_.loaded())
        return;
    TLogger::debug(this, "Executing FreeLibrary");
    try {
        library_.unload();
    } catch (const std::exception& e) {
        TLogger::error(this, e, "FreeLibrary failed");
    }
    TLogger::debug(this, "Library was released");
}

rtl::Ref<IHLDriver> THLDriver::Create(const std::string& path) {
    return rtl::Ref<IHLDriver>(new THLDriver(path));
}

void THLDriver::registerMessages() {
    for (size_t i = 0; i < NotificationCount; ++i) {
        const uint32_t number = platform::RegisterMessage(NotificationNames[i]);
        TLogger::debug(this, "RegisterWindowMessage(%s): %d", NotificationNames[i], number);
        if (number == 0)
            throw EHLDriverError(
                fmt::sprintf("Unable to register window message %s", NotificationNames[i]));
        messages_[i] = number;
    }
    TLogger::debug(this, "All messges were registered successuful");
}

void* THLDriver::exportAddress(const char* name) const {
    void* handle = library_.handle();
    if (!handle || handle == reinterpret_cast<void*>(~uintptr_t(0)))
        throw EHLDriverError("Invalid DLL handle.");
    void* address = library_.symbol(name);
    if (!address)
        throw EHLDriverError(fmt::sprintf("Function %s is not assigned.", name));
    return address;
}

// ---------------------------------------------------------------- connection

void THLDriver::Connect(const std::string& driverHost, int32_t driverPort,
                        const std::string& queueFolder) {
    auto fn = exportOf<decltype(&::Connect)>("Connect");
    OutText message;
    const std::string port = std::to_string(driverPort);
    const int32_t result = fn(In(driverHost), In(port), In(queueFolder), message.ptr());
    TLogger::debug(this, "Exec DLL function Connect(%s, %d, %s, %s): %d", driverHost, driverPort,
                   queueFolder, message.str(), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::Disconnect() {
    auto fn = exportOf<decltype(&::Disconnect)>("Disconnect");
    const int32_t result = fn();
    TLogger::debug(this, "Exec DLL function Disconnect: %d", result);
    // 0: the library still holds its connection.
    if (result == 0)
        throw EHLDriverError("Unsuccessful disconnect", 0);
}

bool THLDriver::IsDrvConnected() {
    auto fn = exportOf<decltype(&::IsDrvConnected)>("IsDrvConnected");
    const int32_t result = fn();
    TLogger::debug(this, "Exec DLL function IsDrvConnected: %d", result);
    return result == 0;
}

// ------------------------------------------------------------------ commands

void THLDriver::CheckIn(const std::string& line, const std::string& name, int16_t language,
                        const std::string& password, bool wait) {
    auto fn = exportOf<decltype(&::CheckIn)>("CheckIn");
    OutText message;
    const std::string languageText = std::to_string(language);
    const int32_t result =
        fn(In(line), In(name), In(languageText), In(password), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function CheckIn(%s, %s, %d, %s, %s, %s): %d", line, name,
                   language, password, message.str(), BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::CheckOut(const std::string& line, bool wait) {
    auto fn = exportOf<decltype(&::CheckOut)>("CheckOut");
    OutText message;
    const int32_t result = fn(In(line), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function CheckOut(%s, %s, %s): %d", line, message.str(),
                   BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::AllocatePhone(const std::string& line, std::string& phone) {
    auto fn = exportOf<decltype(&::AllocatePhone)>("AllocatePhone");
    OutText phoneText;
    OutText message;
    const int32_t result = fn(In(line), phoneText.ptr(), message.ptr());
    TLogger::debug(this, "Exec DLL function AllocatePhone(%s, %s, %s): %d", line, phoneText.str(),
                   message.str(), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
    phone = phoneText.str();
}

void THLDriver::GetAllocatedPhone(const std::string& line, std::string& phone) {
    auto fn = exportOf<decltype(&::GetAllocatedPhone)>("GetAllocatedPhone");
    OutText phoneText;
    OutText message;
    const int32_t result = fn(In(line), phoneText.ptr(), message.ptr());
    TLogger::debug(this, "Exec DLL function GetAllocatedPhone(%s, %s, %s): %d", line,
                   phoneText.str(), message.str(), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
    phone = phoneText.str();
}

void THLDriver::SetName(const std::string& line, const std::string& name, bool wait) {
    auto fn = exportOf<decltype(&::SetName)>("SetName");
    OutText message;
    const int32_t result = fn(In(line), In(name), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function SetName(%s, %s, %s, %s): %d", line, name, message.str(),
                   BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::SetLanguage(const std::string& line, int16_t language, bool wait) {
    auto fn = exportOf<decltype(&::SetLanguage)>("SetLanguage");
    OutText message;
    const std::string languageText = std::to_string(language);
    const int32_t result = fn(In(line), In(languageText), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function SetLanguage(%s, %d, %s, %s): %d", line, language,
                   message.str(), BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::SetPassword(const std::string& line, const std::string& password, bool wait) {
    auto fn = exportOf<decltype(&::SetPassword)>("SetPassword");
    OutText message;
    const int32_t result = fn(In(line), In(password), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function SetPassword(%s, %s, %s, %s): %d", line, password,
                   message.str(), BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::SetBarring(const std::string& line, uint8_t barring, bool wait) {
    auto fn = exportOf<decltype(&::SetBarring)>("SetBarring");
    OutText message;
    // At least two digits: 7 goes as "07".
    const std::string barringText = fmt::sprintf("%2.2d", int(barring));
    const int32_t result = fn(In(line), In(barringText), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function SetBarring(%s, %s, %s, %s): %d", line, barringText,
                   message.str(), BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::SetWakeUpTime(const std::string& line, double time, bool wait) {
    auto fn = exportOf<decltype(&::SetWakeUpTime)>("SetWakeUpTime");
    OutText message;
    const std::string timeText = rtl::Dateparsing::formatTime("hh:nn", time);
    const int32_t result = fn(In(line), In(timeText), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function SetWakeUpTime(%s, %s, %s, %s): %d", line, timeText,
                   message.str(), BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::StopWakeUp(const std::string& line, bool wait) {
    auto fn = exportOf<decltype(&::StopWakeUp)>("StopWakeUp");
    OutText message;
    const int32_t result = fn(In(line), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function StopWakeUp(%s, %s, %s): %d", line, message.str(),
                   BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::SetDoNotDistrib(const std::string& line, uint8_t doNotDisturb, bool wait) {
    auto fn = exportOf<decltype(&::SetDoNotDistrib)>("SetDoNotDistrib");
    OutText message;
    const std::string valueText = std::to_string(int(doNotDisturb));
    const int32_t result = fn(In(line), In(valueText), message.ptr(), Flag(wait));
    TLogger::debug(this, "Exec DLL function SetDoNotDistrib(%s, %d, %s, %s): %d", line,
                   int(doNotDisturb), message.str(), BoolText(wait), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::FullReinitialize(const std::string& line, int32_t waitTime) {
    auto fn = exportOf<decltype(&::FullReinitialize)>("FullReinitialize");
    OutText message;
    const int32_t result = fn(In(line), waitTime, message.ptr());
    TLogger::debug(this, "Exec DLL function FullReinitialize(%s, %d, %s): %d", line, waitTime,
                   message.str(), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

void THLDriver::PartialReinitialize(const std::string& line, int32_t waitTime) {
    auto fn = exportOf<decltype(&::PartialReinitialize)>("PartialReinitialize");
    OutText message;
    const int32_t result = fn(In(line), waitTime, message.ptr());
    TLogger::debug(this, "Exec DLL function PartialReinitialize(%s, %d, %s): %d", line, waitTime,
                   message.str(), result);
    if (result != 0)
        throw EHLDriverError(message.str(), result);
}

// ------------------------------------------------------------------- getters

// Calls a getter with one out-text per record text, writes its debug line, and
// converts the texts into `record` when the result shows a record. A number
// text that cannot be read raises EHLRecordError with the key and the texts;
// the record is then left as it was.
template <typename Record, size_t N, typename Fn, typename Convert>
int32_t THLDriver::getRecord(const char* name, Fn fn, bool zeroIsRecord, Record& record,
                             Convert convert) {
    std::array<OutText, N> texts;
    const int32_t key = [&]<size_t... I>(std::index_sequence<I...>) {
        return fn(texts[I].ptr()...);
    }
    (std::make_index_sequence<N>{});
    TLogger::debug(this, "Exec DLL function %s(%s): %d", name, Joined(texts), key);
    if (key < 0 || (key == 0 && !zeroIsRecord))
        return key;
    std::array<std::string, N> t;
    for (size_t i = 0; i < N; ++i)
        t[i] = texts[i].str();
    Record converted;
    try {
        convert(t, converted);
    } catch (const rtl::EConvertError& e) {
        throw EHLRecordError(e.what(), key, Strings(texts));
    }
    record = std::move(converted);
    return key;
}

int32_t THLDriver::GetCheckIn(TCheckInRecord& record) {
    return getRecord<TCheckInRecord, 8>("GetCheckIn",
                                        exportOf<decltype(&::GetCheckIn)>("GetCheckIn"), true,
                                        record, [](const auto& t, TCheckInRecord& r) {
                                            r.line = t[0];
                                            r.name = t[1];
                                            r.language = int16_t(rtl::IntOr(t[2], -1));
                                            r.password = t[3];
                                            r.barring = uint8_t(StrToInt(t[4]));
                                            r.wakeUpTime = HourMinute(t[5]);
                                            r.doNotDisturb = uint8_t(StrToInt(t[6]));
                                            r.time = parseDateStamp(t[7]);
                                        });
}

int32_t THLDriver::GetCheckOut(TCheckOutRecord& record) {
    return getRecord<TCheckOutRecord, 2>("GetCheckOut",
                                         exportOf<decltype(&::GetCheckOut)>("GetCheckOut"), false,
                                         record, [](const auto& t, TCheckOutRecord& r) {
                                             r.line = t[0];
                                             r.time = parseDateStamp(t[1]);
                                         });
}

int32_t THLDriver::GetFullReinit(TFullReinitRecord& record) {
    return getRecord<TFullReinitRecord, 12>("GetFullReinit",
                                            exportOf<decltype(&::GetFullReinit)>("GetFullReinit"),
                                            true, record, [](const auto& t, TFullReinitRecord& r) {
                                                r.line = t[0];
                                                r.text = t[1];
                                                r.field12 = t[2];
                                                r.field21 = t[3];
                                                r.field41 = int16_t(StrToInt(t[4]));
                                                r.field46 = t[5];
                                                r.field50 = uint8_t(StrToInt(t[6]));
                                                r.field62 = HourMinute(t[7]);
                                                r.field67 = uint8_t(StrToInt(t[8]));
                                                r.field79 = int16_t(StrToInt(t[9]));
                                                r.field80 = t[10];
                                                r.time = parseDateStamp(t[11]);
                                            });
}

int32_t THLDriver::GetPartialReinit(TPartialReinitRecord& record) {
    return getRecord<TPartialReinitRecord, 5>(
        "GetPartialReinit", exportOf<decltype(&::GetPartialReinit)>("GetPartialReinit"), true,
        record, [](const auto& t, TPartialReinitRecord& r) {
            r.line = t[0];
            r.text = t[1];
            r.field12 = t[2];
            r.field20 = t[3];
            r.time = parseDateStamp(t[4]);
        });
}

int32_t THLDriver::GetModification(TModificationRecord& record) {
    return getRecord<TModificationRecord, 10>(
        "GetModification", exportOf<decltype(&::GetModification)>("GetModification"), true, record,
        [](const auto& t, TModificationRecord& r) {
            r.line = t[0];
            r.name = t[1];
            r.field22 = t[2];
            r.field33 = int16_t(StrToInt(t[3]));
            r.field38 = t[4];
            r.field42 = uint8_t(StrToInt(t[5]));
            r.field54 = HourMinute(t[6]);
            // Anything but a readable 0 counts as set.
            r.field58 = rtl::IntOr(t[7], -1) != 0;
            r.field59 = uint8_t(StrToInt(t[8]));
            r.time = parseDateStamp(t[9]);
        });
}

int32_t THLDriver::GetPhoneAllocation(TPhoneAllocationRecord& record) {
    return getRecord<TPhoneAllocationRecord, 3>(
        "GetPhoneAllocation", exportOf<decltype(&::GetPhoneAllocation)>("GetPhoneAllocation"), true,
        record, [](const auto& t, TPhoneAllocationRecord& r) {
            r.line = t[0];
            r.phone = t[1];
            r.time = parseDateStamp(t[2]);
        });
}

int32_t THLDriver::GetRoomState(TRoomStateRecord& record) {
    return getRecord<TRoomStateRecord, 4>("GetRoomState",
                                          exportOf<decltype(&::GetRoomState)>("GetRoomState"), true,
                                          record, [](const auto& t, TRoomStateRecord& r) {
                                              r.line = t[0];
                                              r.isClean = StrToInt(t[1]) == 1;
                                              r.text = t[2];
                                              r.time = parseDateStamp(t[3]);
                                          });
}

namespace {
void ConvertTicket(const std::array<std::string, 7>& t, TCallTicketRecord& r) {
    r.line = t[0];
    r.callType = t[1];
    r.callTime = parseDateTimeOrZero(t[2], "ddmmyyhhnn");
    r.duration = StrToInt(t[3]);
    r.field4 = t[4];
    r.field20 = t[5];
    r.time = parseDateStamp(t[6]);
}
} // namespace

int32_t THLDriver::GetInTicket(TCallTicketRecord& record) {
    return getRecord<TCallTicketRecord, 7>("GetInTicket",
                                           exportOf<decltype(&::GetInTicket)>("GetInTicket"), false,
                                           record, ConvertTicket);
}

int32_t THLDriver::GetOutTicket(TCallTicketRecord& record) {
    return getRecord<TCallTicketRecord, 7>("GetOutTicket",
                                           exportOf<decltype(&::GetOutTicket)>("GetOutTicket"),
                                           false, record, ConvertTicket);
}

int32_t THLDriver::GetWakeUpEvent(TWakeUpRecord& record) {
    return getRecord<TWakeUpRecord, 6>(
        "GetWakeUpEvent", exportOf<decltype(&::GetWakeUpEvent)>("GetWakeUpEvent"), true, record,
        [](const auto& t, TWakeUpRecord& r) {
            r.line = t[0];
            r.cause = CauseOf(t[1]);
            try {
                r.wakeUpTime = parseDateTime(t[2], "ddmmyy") + parseDateTime(t[3], "hhnn");
            } catch (...) {
                r.wakeUpTime = 0;
            }
            r.field31 = HourMinute(t[4]);
            r.time = parseDateStamp(t[5]);
        });
}

// ------------------------------------------------------------------- deletes

bool THLDriver::deleteRecord(const char* name, int32_t (*fn)(int32_t), int32_t key) {
    const bool deleted = fn(key) == 0;
    TLogger::debug(this, "Exec DLL function %s(%d): %s", name, key, BoolText(deleted));
    return deleted;
}

bool THLDriver::DeleteCheckIn(int32_t key) {
    return deleteRecord("DeleteCheckIn", exportOf<decltype(&::DeleteCheckIn)>("DeleteCheckIn"),
                        key);
}
bool THLDriver::DeleteCheckOut(int32_t key) {
    return deleteRecord("DeleteCheckOut", exportOf<decltype(&::DeleteCheckOut)>("DeleteCheckOut"),
                        key);
}
bool THLDriver::DeleteFullReinit(int32_t key) {
    return deleteRecord("DeleteFullReinit",
                        exportOf<decltype(&::DeleteFullReinit)>("DeleteFullReinit"), key);
}
bool THLDriver::DeletePartialReinit(int32_t key) {
    return deleteRecord("DeletePartialReinit",
                        exportOf<decltype(&::DeletePartialReinit)>("DeletePartialReinit"), key);
}
bool THLDriver::DeleteModification(int32_t key) {
    return deleteRecord("DeleteModification",
                        exportOf<decltype(&::DeleteModification)>("DeleteModification"), key);
}
bool THLDriver::DeletePhoneAllocation(int32_t key) {
    return deleteRecord("DeletePhoneAllocation",
                        exportOf<decltype(&::DeletePhoneAllocation)>("DeletePhoneAllocation"), key);
}
bool THLDriver::DeleteRoomState(int32_t key) {
    return deleteRecord("DeleteRoomState",
                        exportOf<decltype(&::DeleteRoomState)>("DeleteRoomState"), key);
}
bool THLDriver::DeleteInTicket(int32_t key) {
    return deleteRecord("DeleteInTicket", exportOf<decltype(&::DeleteInTicket)>("DeleteInTicket"),
                        key);
}
bool THLDriver::DeleteOutTicket(int32_t key) {
    return deleteRecord("DeleteOutTicket",
                        exportOf<decltype(&::DeleteOutTicket)>("DeleteOutTicket"), key);
}
bool THLDriver::DeleteWakeUpEvent(int32_t key) {
    return deleteRecord("DeleteWakeUpEvent",
                        exportOf<decltype(&::DeleteWakeUpEvent)>("DeleteWakeUpEvent"), key);
}

// ------------------------------------------------------------- notifications

bool THLDriver::IsInCallTicketMessage(const platform::Message& m) {
    return is(Notification::InCallTicket, m);
}
bool THLDriver::IsOutCallTicketMessage(const platform::Message& m) {
    return is(Notification::OutCallTicket, m);
}
bool THLDriver::IsWakeUpMessage(const platform::Message& m) {
    return is(Notification::WakeUp, m);
}
bool THLDriver::IsRoomStatusMessage(const platform::Message& m) {
    return is(Notification::RoomStatus, m);
}
bool THLDriver::IsFullReinitDoneMessage(const platform::Message& m) {
    return is(Notification::FullReinitDone, m);
}
bool THLDriver::IsPartialReinitDoneMessage(const platform::Message& m) {
    return is(Notification::PartialReinitDone, m);
}
bool THLDriver::IsCheckInMessage(const platform::Message& m) {
    return is(Notification::CheckIn, m);
}
bool THLDriver::IsCheckOutMessage(const platform::Message& m) {
    return is(Notification::CheckOut, m);
}
bool THLDriver::IsPhoneAllocMessage(const platform::Message& m) {
    return is(Notification::PhoneAlloc, m);
}
bool THLDriver::IsModifyMessage(const platform::Message& m) {
    return is(Notification::Modify, m);
}

} // namespace mod_varnel
