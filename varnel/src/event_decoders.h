// Decoders of the driver's event frames: each cuts its frame's fixed-width fields into
// a queue record (key first, date stamp last, every field followed by "|") and names
// the notification to post and the waiting-command slot to fill. Pure: the link
// applies the outcome (slot, then queue, then broadcast).
#pragma once

#include "event_queues.h"
#include "frame_kinds.h"
#include "notifications.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// Slots of LinkContext that a frame sets before its record is queued.
enum class StatusSlot { None, Phone, FullReinit, PartialReinit };

struct EventOutcome {
    StatusSlot slot = StatusSlot::None;
    std::string slotValue; // the slot's new value (may be empty)
    std::optional<QueueId> queue;
    std::string record;
    bool onlyIfAbsent = false; // node identifiers are stored once
    std::optional<Notification> notification;
    uintptr_t wParam = 0;
    intptr_t lParam = 0; // the record's room or line as a decimal number, else 0
};

// Decodes an event frame of the given kind (not an answer frame). `key` and `stamp`
// are the record key and date stamp of this decoding.
EventOutcome DecodeEvent(FrameKind kind, std::string_view frame, int32_t key,
                         const std::string& stamp);

// The text a wake-up record holds for its status letter (the letter itself when the
// table has none; empty for a blank letter).
std::string WakeUpStatusText(std::string_view letter);

} // namespace varnel
