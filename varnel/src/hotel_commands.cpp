#include "hotel_commands.h"

#include "frame_format.h"
#include "record_text.h"

#include "platform/event_loop.h"

#include <optional>
#include <vector>

namespace varnel {

namespace {

constexpr const char* Timeout = "Timeout";
constexpr const char* SystemError = "System error";
constexpr const char* NoWaitResult = "No wait result";
constexpr const char* RoomNotCheckedIn = "Room not checked-in";
constexpr const char* InvalidPassword = "Invalid or unavailable guest password";

// A refusal's reason letter mapped to the command's result; `text` (when given)
// replaces the driver's reason text as the message.
struct ReasonRow {
    char reason;
    int32_t result;
    const char* text = nullptr;
};

struct CommandLetters {
    char accept;
    char refuse;
    std::vector<ReasonRow> reasons;
};

const CommandLetters CheckInLetters{'I', 'J', {{'R', 1}, {'A', 2}, {'Q', 3}, {'T', 4}}};
const CommandLetters CheckOutLetters{
    'O', 'P', {{'R', 1}, {'A', 2, RoomNotCheckedIn}, {'Q', 3}, {'T', 4}}};
const CommandLetters PhoneLetters{'A', 'B', {{'R', 1}, {'Q', 2}, {'T', 3}}};
const CommandLetters ModificationLetters{
    'M',
    'N',
    {{'R', 1}, {'A', 2, RoomNotCheckedIn}, {'P', 3, InvalidPassword}, {'Q', 4}, {'T', 5}}};
// Interrogation accepts any letter but R; re-initialisation succeeds by its end status.
const CommandLetters InterrogationLetters{
    '\0', 'R', {{'R', 1}, {'A', 2, RoomNotCheckedIn}, {'Q', 3}, {'T', 4}}};
const CommandLetters ReinitLetters{
    '\0', 'T', {{'R', 1}, {'A', 2, RoomNotCheckedIn}, {'Q', 3}, {'T', 4}}};

// A letter field of a slot: its first byte, or 0 when it is empty. A blank letter of
// the answer frame is stored as the byte 0 and so counts as no letter too.
char Letter(const std::string& field) {
    return field.empty() ? '\0' : field[0];
}

void ClearAnswer(LinkContext& link) {
    link.answerCodes.clear();
    link.answerTexts.clear();
}

bool WaitForAnswer(LinkContext& link, uint32_t ms) {
    return platform::WaitUntil([&link] { return !link.answerCodes.empty(); }, ms);
}

// A refusal: the reason letter through the command's table; an unmapped letter gives
// -3 with the driver's reason text, a missing one -3 "System error".
CommandResult MapRefusal(const LinkContext& link, const CommandLetters& letters) {
    const char reason = Letter(GetField(3, link.answerCodes));
    if (reason == '\0')
        return {-3, SystemError};
    CommandResult out{-3, GetField(4, link.answerTexts)};
    for (const ReasonRow& row : letters.reasons) {
        if (row.reason == reason) {
            out.result = row.result;
            if (row.text)
                out.message = row.text;
            break;
        }
    }
    return out;
}

// Judges the answer in the slots (there is one) for the command that sent `room`.
CommandResult JudgeAnswer(const LinkContext& link, const std::string& room,
                          const CommandLetters& letters) {
    // The room as the caller passed it: an answer for another room (a late answer to
    // an earlier request) is not this command's.
    if (GetField(1, link.answerCodes) != room)
        return {-3, SystemError};
    const char answer = Letter(GetField(2, link.answerCodes));
    if (answer == '\0')
        return {-3, SystemError};
    if (answer == letters.accept)
        return {0, ""};
    if (answer == letters.refuse)
        return MapRefusal(link, letters);
    return {-3, SystemError};
}

CommandResult RunCommand(LinkContext& link, const std::string& room, const std::string& body,
                         const CommandLetters& letters, bool wait) {
    KeepAliveSuspension suspension(link);
    const std::string request = WithChecksum(body);
    ClearAnswer(link);
    link.sendFrame(request, true); // a lost request ends in the answer wait's time-out
    if (!wait)
        return {0, NoWaitResult};
    if (!WaitForAnswer(link, link.timings().answerWaitMs))
        return {-2, Timeout};
    return JudgeAnswer(link, room, letters);
}

// One wait for a re-initialisation status; the slot is the full or partial one.
bool WaitForStatus(std::string& slot, uint32_t ms) {
    return platform::WaitUntil([&slot] { return !slot.empty(); }, ms);
}

} // namespace

CommandResult CheckIn(LinkContext& link, const std::string& room, const std::string& guestName,
                      const std::string& language, const std::string& password, bool wait) {
    return RunCommand(link, room, CheckInBody(room, guestName, language, password), CheckInLetters,
                      wait);
}

CommandResult CheckOut(LinkContext& link, const std::string& room, bool wait) {
    return RunCommand(link, room, CheckOutBody(room), CheckOutLetters, wait);
}

CommandResult Modify(LinkContext& link, Modification kind, const std::string& room,
                     const std::string& value, bool wait) {
    return RunCommand(link, room, ModificationBody(kind, room, value), ModificationLetters, wait);
}

CommandResult AllocatePhone(LinkContext& link, const std::string& room, bool getAllocated) {
    KeepAliveSuspension suspension(link);
    const std::string request = WithChecksum(PhoneBody(room, getAllocated ? 'I' : 'R'));
    ClearAnswer(link);
    // The phone-allocation event may come before or after the answer frame.
    static const std::string Check = "Check";
    link.phoneSlot = Check;
    link.sendFrame(request, true);
    if (!WaitForAnswer(link, link.timings().answerWaitMs))
        return {-2, Timeout};
    if (GetField(1, link.answerCodes) != room)
        return {-3, SystemError};
    const char answer = Letter(GetField(2, link.answerCodes));
    if (answer == PhoneLetters.refuse)
        return MapRefusal(link, PhoneLetters);
    if (answer != PhoneLetters.accept)
        return {-3, SystemError};
    platform::WaitUntil([&link] { return link.phoneSlot != Check; }, link.timings().answerWaitMs);
    if (link.phoneSlot == Check || GetField(1, link.phoneSlot) != room)
        return {-3, SystemError};
    return {0, "", GetField(2, link.phoneSlot)};
}

CommandResult Interrogation(LinkContext& link, const std::string& room) {
    KeepAliveSuspension suspension(link);
    ClearAnswer(link);
    link.sendFrame(WithChecksum(InterrogationBody(room)), true);
    // Silence is no refusal: without an answer the room counts as accepted.
    if (!WaitForAnswer(link, link.timings().interrogationWaitMs))
        return {0, ""};
    const char answer = Letter(GetField(2, link.answerCodes));
    if (answer == '\0')
        return {0, ""};
    if (GetField(1, link.answerCodes) != room)
        return {-3, SystemError};
    if (answer != InterrogationLetters.refuse)
        return {0, ""};
    return MapRefusal(link, InterrogationLetters);
}

CommandResult Reinitialize(LinkContext& link, const std::string& room, int32_t waitTime,
                           bool full) {
    const char ongoing = full ? 'F' : 'P';
    const char end = full ? 'E' : 'O';
    std::string& status = full ? link.fullReinitStatus : link.partialReinitStatus;
    const uint32_t firstWait =
        full ? link.timings().answerWaitMs : link.timings().partialReinitWaitMs;

    KeepAliveSuspension suspension(link);
    const std::string request = WithChecksum(ReinitializeBody(room, ongoing));
    ClearAnswer(link);
    status.clear();
    link.sendFrame(request, true);
    platform::WaitUntil([&] { return !link.answerCodes.empty() || !status.empty(); }, firstWait);

    if (!link.answerCodes.empty()) {
        // An answer frame is only ever a refusal here.
        if (GetField(1, link.answerCodes) != room ||
            Letter(GetField(2, link.answerCodes)) != ReinitLetters.refuse)
            return {-3, SystemError};
        return MapRefusal(link, ReinitLetters);
    }
    if (status.empty())
        return {-2, Timeout};

    // A status for this room: the end letter is success, the ongoing letter means
    // waiting on; anything else (another room's status included) is an error.
    auto judge = [&]() -> std::optional<CommandResult> {
        if (GetField(1, status) != room)
            return CommandResult{-3, SystemError};
        const char letter = Letter(GetField(2, status));
        if (letter == end)
            return CommandResult{0, ""};
        if (letter != ongoing)
            return CommandResult{-3, SystemError};
        return std::nullopt;
    };
    if (auto result = judge())
        return *result;
    // While the driver reports the re-initialisation as going on, wait up to ten more
    // times a tenth of WaitTime for its next status, each from an empty slot.
    const uint32_t furtherWait = waitTime > 0 ? uint32_t(waitTime) / 10 : 0;
    for (int round = 0; round < 10; ++round) {
        status.clear();
        if (!WaitForStatus(status, furtherWait))
            continue;
        if (auto result = judge())
            return *result;
    }
    return {-2, Timeout};
}

} // namespace varnel
