// The hotel commands: each sends one request to the HL driver, waits (dispatching
// events) for the answer frame or status frame, and turns the driver's answer and
// reason letters into the command's result code and message.
#pragma once

#include "link_context.h"
#include "request_fields.h"

#include <cstdint>
#include <string>

namespace varnel {

struct CommandResult {
    CommandResult(int32_t r, std::string m, std::string p = {})
        : result(r), message(std::move(m)), phone(std::move(p)) {}
    int32_t result;
    std::string message;
    std::string phone; // AllocatePhone and GetAllocatedPhone
};

CommandResult CheckIn(LinkContext& link, const std::string& room, const std::string& guestName,
                      const std::string& language, const std::string& password, bool wait);
CommandResult CheckOut(LinkContext& link, const std::string& room, bool wait);
// The seven data modifications; `value` is ignored by StopWakeUp.
CommandResult Modify(LinkContext& link, Modification kind, const std::string& room,
                     const std::string& value, bool wait);
// getAllocated false: AllocatePhone; true: GetAllocatedPhone.
CommandResult AllocatePhone(LinkContext& link, const std::string& room, bool getAllocated);
CommandResult Interrogation(LinkContext& link, const std::string& room);
CommandResult Reinitialize(LinkContext& link, const std::string& room, int32_t waitTime, bool full);

} // namespace varnel
