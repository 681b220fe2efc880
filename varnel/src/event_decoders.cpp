#include "event_decoders.h"

#include "record_text.h"

#include <initializer_list>
#include <stdexcept>

namespace varnel {

namespace {

// 1-based frame positions (STX is 1, the letter 2) and widths.
struct Cut {
    size_t first;
    size_t width;
};

constexpr const char* ReinitEndText = "End of re-initialization";

class RecordBuilder {
public:
    explicit RecordBuilder(int32_t key) { add(std::to_string(key)); }
    RecordBuilder& add(std::string_view field) {
        text_ += field;
        text_ += '|';
        return *this;
    }
    RecordBuilder& cut(std::string_view frame, std::initializer_list<Cut> cuts) {
        for (const Cut& c : cuts)
            add(FrameField(frame, c.first, c.width));
        return *this;
    }
    std::string finish(const std::string& stamp) {
        add(stamp);
        return std::move(text_);
    }

private:
    std::string text_;
};

EventOutcome Queued(QueueId queue, std::string record, Notification n, const std::string& room,
                    uintptr_t wParam = 0) {
    EventOutcome out;
    out.queue = queue;
    out.record = std::move(record);
    out.notification = n;
    out.wParam = wParam;
    out.lParam = DecimalOrZero(room);
    return out;
}

char ByteAt(std::string_view frame, size_t position) {
    return position <= frame.size() ? frame[position - 1] : '\0';
}

} // namespace

std::string WakeUpStatusText(std::string_view letter) {
    struct Row {
        char letter;
        const char* text;
    };
    static constexpr Row Rows[] = {
        {'A', "Acknowledge"},
        {'B', "Not acknowledge : Busy"},
        {'C', "Cancelled (wake-up)"},
        {'N', "Not acknowledge : Free"},
        {'O', "Set Inaccessible (OUT OF ORDER)"},
        {'P', "Programmed (wake-up)"},
    };
    if (letter.size() == 1)
        for (const Row& row : Rows)
            if (row.letter == letter[0])
                return row.text;
    return std::string(letter);
}

EventOutcome DecodeEvent(FrameKind kind, std::string_view frame, int32_t key,
                         const std::string& stamp) {
    const std::string room = FrameField(frame, 3, 8);
    switch (kind) {
    case FrameKind::NodeReport: {
        EventOutcome out;
        out.queue = QueueId::Nodes;
        out.record = OneLine(frame.substr(2, 4)); // not trimmed
        out.onlyIfAbsent = true;
        return out;
    }
    case FrameKind::CallTicket: {
        const std::string callType = FrameField(frame, 15, 1);
        const std::string record = RecordBuilder(key)
                                       .add(room)
                                       .add(callType)
                                       .cut(frame, {{24, 11}, {35, 5}, {48, 4}, {52, 20}})
                                       .finish(stamp);
        // Byte-wise text comparison: call types below "3" (a blank one too) are
        // outgoing calls.
        if (callType < std::string("3"))
            return Queued(QueueId::TicketsOut, record, Notification::OutCallTicket, room, 1);
        return Queued(QueueId::TicketsIn, record, Notification::InCallTicket, room, 0);
    }
    case FrameKind::CheckIn:
        return Queued(QueueId::CheckIns,
                      RecordBuilder(key)
                          .add(room)
                          .cut(frame, {{12, 10}, {32, 1}, {37, 4}, {41, 2}, {52, 4}, {57, 1}})
                          .finish(stamp),
                      Notification::CheckIn, room);
    case FrameKind::CheckOut:
        return Queued(QueueId::CheckOuts, RecordBuilder(key).add(room).finish(stamp),
                      Notification::CheckOut, room);
    case FrameKind::PhoneAllocation: {
        const std::string phone = FrameField(frame, 12, 8);
        EventOutcome out =
            Queued(QueueId::PhoneAllocs, RecordBuilder(key).add(room).add(phone).finish(stamp),
                   Notification::PhoneAllocation, room);
        out.slot = StatusSlot::Phone;
        out.slotValue = room + "|" + phone + "|";
        return out;
    }
    case FrameKind::Modification:
        // These positions differ from those of the check-in frame on purpose: they
        // are the driver's layout of a modification (59 is the first checksum byte).
        return Queued(
            QueueId::Modifications,
            RecordBuilder(key)
                .add(room)
                .cut(frame,
                     {{12, 10}, {22, 8}, {33, 1}, {38, 4}, {42, 2}, {54, 4}, {58, 1}, {59, 1}})
                .finish(stamp),
            Notification::Modification, room);
    case FrameKind::RoomStatus:
        return Queued(QueueId::RoomStates,
                      RecordBuilder(key).add(room).cut(frame, {{11, 1}, {12, 3}}).finish(stamp),
                      Notification::RoomStatus, room);
    case FrameKind::WakeUp: {
        if (ByteAt(frame, 11) != 'W')
            return {}; // not a wake-up: ignored, but still acknowledged
        return Queued(QueueId::WakeUps,
                      RecordBuilder(key)
                          .add(room)
                          .add(WakeUpStatusText(FrameField(frame, 14, 1)))
                          .cut(frame, {{16, 6}, {22, 4}, {31, 4}})
                          .finish(stamp),
                      Notification::WakeUp, room);
    }
    case FrameKind::FullReinitialization: {
        EventOutcome out;
        out.slot = StatusSlot::FullReinit;
        const char letter = ByteAt(frame, 11);
        if (letter == 'F') {
            out.slotValue = room + "|F|";
        } else if (letter == 'E') {
            out.slotValue = room + "|E|";
            if (!room.empty()) {
                EventOutcome queued = Queued(QueueId::FullReinits,
                                             RecordBuilder(key)
                                                 .add(room)
                                                 .add(ReinitEndText)
                                                 .cut(frame, {{12, 8},
                                                              {21, 10},
                                                              {41, 1},
                                                              {46, 4},
                                                              {50, 2},
                                                              {62, 4},
                                                              {67, 1},
                                                              {79, 1},
                                                              {80, 3}})
                                                 .finish(stamp),
                                             Notification::FullReinitEnd, room);
                queued.slot = out.slot;
                queued.slotValue = out.slotValue;
                return queued;
            }
        }
        return out;
    }
    case FrameKind::PartialReinitialization: {
        EventOutcome out;
        out.slot = StatusSlot::PartialReinit;
        const char letter = ByteAt(frame, 11);
        if (letter == 'P') {
            out.slotValue = room + "|P|";
        } else if (letter == 'O') {
            out.slotValue = room + "|O|";
            if (!room.empty()) {
                EventOutcome queued = Queued(QueueId::PartReinits,
                                             RecordBuilder(key)
                                                 .add(room)
                                                 .add(ReinitEndText)
                                                 .cut(frame, {{12, 8}, {20, 4}})
                                                 .finish(stamp),
                                             Notification::PartialReinitEnd, room);
                queued.slot = out.slot;
                queued.slotValue = out.slotValue;
                return queued;
            }
        }
        return out;
    }
    case FrameKind::Answer:
        break;
    }
    throw std::logic_error("DecodeEvent called for a frame that is not an event");
}

} // namespace varnel
