// Event frames into queue records, notifications and command slots; record keys and
// date stamps. Frames are laid out by hand at the positions of the protocol.
#include "date_stamp.h"
#include "event_decoders.h"
#include "record_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varnel;

namespace {

std::string Frame(size_t length, char letter,
                  std::vector<std::pair<size_t, std::string>> texts = {}) {
    std::string f(length, ' ');
    f.front() = '\x02';
    f[1] = letter;
    f.back() = '\x03';
    for (const auto& [pos, text] : texts)
        f.replace(pos - 1, text.size(), text);
    return f;
}

const std::string Stamp = "2024.02.01 09:05";

struct Case {
    std::string name;
    FrameKind kind;
    std::string frame;
    std::optional<QueueId> queue;
    std::string record;
    std::optional<Notification> notification;
    uintptr_t wParam;
    intptr_t lParam;
    StatusSlot slot = StatusSlot::None;
    std::string slotValue = {};
};

std::vector<Case> Cases() {
    const std::string room = "     101";
    return {
        {"out-call ticket, type 1", FrameKind::CallTicket,
         Frame(74, 'J',
               {{3, room},
                {15, "1"},
                {24, "01022409050"},
                {35, "00042"},
                {48, "AB12"},
                {52, "twenty characters!!!"},
                {72, "5C"}}),
         QueueId::TicketsOut, "77|101|1|01022409050|00042|AB12|twenty characters!!!|" + Stamp + "|",
         Notification::OutCallTicket, 1, 101},
        {"out-call ticket, blank type", FrameKind::CallTicket, Frame(74, 'J', {{3, room}}),
         QueueId::TicketsOut, "77|101||||||" + Stamp + "|", Notification::OutCallTicket, 1, 101},
        {"in-call ticket, type 3", FrameKind::CallTicket, Frame(74, 'J', {{3, room}, {15, "3"}}),
         QueueId::TicketsIn, "77|101|3|||||" + Stamp + "|", Notification::InCallTicket, 0, 101},
        {"in-call ticket, type 5", FrameKind::CallTicket,
         Frame(74, 'J', {{3, "    2001"}, {15, "5"}}), QueueId::TicketsIn,
         "77|2001|5|||||" + Stamp + "|", Notification::InCallTicket, 0, 2001},
        {"check-in from a reception set", FrameKind::CheckIn,
         Frame(61, 'A',
               {{3, room},
                {12, "     SMITH"},
                {32, "2"},
                {37, "1234"},
                {41, "03"},
                {52, "0730"},
                {57, "1"}}),
         QueueId::CheckIns, "77|101|SMITH|2|1234|03|0730|1|" + Stamp + "|", Notification::CheckIn,
         0, 101},
        // A queue file holds one record per line: a line end the driver sent inside
        // a field would split the record when the file is read again.
        {"line ends inside fields", FrameKind::CallTicket,
         Frame(74, 'J', {{3, room}, {15, "1"}, {48, "A\rB\n"}, {52, "CALL\r\n0001"}}),
         QueueId::TicketsOut, "77|101|1|||A B|CALL  0001|" + Stamp + "|",
         Notification::OutCallTicket, 1, 101},
        {"check-in for room 10A", FrameKind::CheckIn, Frame(61, 'A', {{3, "     10A"}}),
         QueueId::CheckIns, "77|10A|||||||" + Stamp + "|", Notification::CheckIn, 0, 0},
        {"check-out", FrameKind::CheckOut, Frame(13, 'D', {{3, room}, {11, "54"}}),
         QueueId::CheckOuts, "77|101|" + Stamp + "|", Notification::CheckOut, 0, 101},
        {"phone allocation", FrameKind::PhoneAllocation,
         Frame(22, 'H', {{3, room}, {11, "X    2101"}}), QueueId::PhoneAllocs,
         "77|101|2101|" + Stamp + "|", Notification::PhoneAllocation, 0, 101, StatusSlot::Phone,
         "101|2101|"},
        {"modification", FrameKind::Modification,
         Frame(61, 'M',
               {{3, room},
                {12, "     SMITH"},
                {22, "ABCDEFGH"},
                {33, "3"},
                {38, "4321"},
                {42, "05"},
                {54, "0645"},
                {58, "1"},
                {59, "7E"}}),
         QueueId::Modifications, "77|101|SMITH|ABCDEFGH|3|4321|05|0645|1|7|" + Stamp + "|",
         Notification::Modification, 0, 101},
        {"room status", FrameKind::RoomStatus, Frame(17, 'C', {{3, room}, {11, "1ABC"}}),
         QueueId::RoomStates, "77|101|1|ABC|" + Stamp + "|", Notification::RoomStatus, 0, 101},
        {"wake-up acknowledged", FrameKind::WakeUp,
         Frame(38, 'P',
               {{3, room}, {11, "W"}, {14, "A"}, {16, "010224"}, {22, "0730"}, {31, "0735"}}),
         QueueId::WakeUps, "77|101|Acknowledge|010224|0730|0735|" + Stamp + "|",
         Notification::WakeUp, 0, 101},
        {"wake-up with a blank status", FrameKind::WakeUp, Frame(38, 'P', {{3, room}, {11, "W"}}),
         QueueId::WakeUps, "77|101|||||" + Stamp + "|", Notification::WakeUp, 0, 101},
        {"not a wake-up (X at position 11)", FrameKind::WakeUp,
         Frame(38, 'P', {{3, room}, {11, "X"}, {14, "A"}}), std::nullopt, "", std::nullopt, 0, 0},
        {"full re-initialisation going on", FrameKind::FullReinitialization,
         Frame(96, 'U', {{3, room}, {11, "F"}}), std::nullopt, "", std::nullopt, 0, 0,
         StatusSlot::FullReinit, "101|F|"},
        {"full re-initialisation ended", FrameKind::FullReinitialization,
         Frame(96, 'U',
               {{3, room},
                {11, "E"},
                {12, "AAAAAAAA"},
                {21, "BBBBBBBBBB"},
                {41, "C"},
                {46, "DDDD"},
                {50, "EE"},
                {62, "FFFF"},
                {67, "G"},
                {79, "HIII"}}),
         QueueId::FullReinits,
         "77|101|End of re-initialization|AAAAAAAA|BBBBBBBBBB|C|DDDD|EE|FFFF|G|H|III|" + Stamp +
             "|",
         Notification::FullReinitEnd, 0, 101, StatusSlot::FullReinit, "101|E|"},
        {"full re-initialisation ended, blank room", FrameKind::FullReinitialization,
         Frame(96, 'U', {{11, "E"}}), std::nullopt, "", std::nullopt, 0, 0, StatusSlot::FullReinit,
         "|E|"},
        {"full re-initialisation, other letter", FrameKind::FullReinitialization,
         Frame(96, 'U', {{3, room}, {11, "Z"}}), std::nullopt, "", std::nullopt, 0, 0,
         StatusSlot::FullReinit, ""},
        {"partial re-initialisation going on", FrameKind::PartialReinitialization,
         Frame(26, 'U', {{3, room}, {11, "P"}}), std::nullopt, "", std::nullopt, 0, 0,
         StatusSlot::PartialReinit, "101|P|"},
        {"partial re-initialisation ended", FrameKind::PartialReinitialization,
         Frame(26, 'U', {{3, room}, {11, "O"}, {12, "AAAAAAAABBBB"}}), QueueId::PartReinits,
         "77|101|End of re-initialization|AAAAAAAA|BBBB|" + Stamp + "|",
         Notification::PartialReinitEnd, 0, 101, StatusSlot::PartialReinit, "101|O|"},
    };
}

} // namespace

TEST(DecodeEvent, EveryFrameKind) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const EventOutcome out = DecodeEvent(c.kind, c.frame, 77, Stamp);
        EXPECT_EQ(out.queue, c.queue);
        EXPECT_EQ(out.record, c.record);
        EXPECT_EQ(out.notification, c.notification);
        EXPECT_EQ(out.wParam, c.wParam);
        EXPECT_EQ(out.lParam, c.lParam);
        EXPECT_EQ(out.slot, c.slot);
        EXPECT_EQ(out.slotValue, c.slotValue);
        EXPECT_FALSE(out.onlyIfAbsent);
    }
}

TEST(DecodeEvent, NodeReportIsTheBareIdentifierStoredOnce) {
    const EventOutcome out = DecodeEvent(FrameKind::NodeReport, "\x02$ N1 \x03", 77, Stamp);
    EXPECT_EQ(out.queue, QueueId::Nodes);
    EXPECT_EQ(out.record, " N1 "); // not trimmed
    EXPECT_TRUE(out.onlyIfAbsent);
    EXPECT_FALSE(out.notification);
}

TEST(DecodeEvent, NodeIdentifierWithALineEndStaysOneRecord) {
    EXPECT_EQ(DecodeEvent(FrameKind::NodeReport, "\x02$N\r1\n\x03", 77, Stamp).record, "N 1 ");
}

TEST(DecodeEvent, WakeUpStatusTexts) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"A", "Acknowledge"},
        {"B", "Not acknowledge : Busy"},
        {"C", "Cancelled (wake-up)"},
        {"N", "Not acknowledge : Free"},
        {"O", "Set Inaccessible (OUT OF ORDER)"},
        {"P", "Programmed (wake-up)"},
        {"Z", "Z"},
        {"", ""},
    };
    for (const auto& [letter, text] : rows)
        EXPECT_EQ(WakeUpStatusText(letter), text) << letter;
}

TEST(DateStamp, Format) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 1;
    t.tm_mday = 1;
    t.tm_hour = 9;
    t.tm_min = 5;
    EXPECT_EQ(FormatDateStamp(t), "2024.02.01 09:05");
}

TEST(RecordKeys, TickCountsAndStoredKeysFallIntoOneToMaxInt) {
    struct Case {
        uint64_t value;
        int32_t key;
    };
    for (const Case c :
         {Case{5000, 5000}, Case{1, 1}, Case{2147483647, 2147483647}, Case{2147483648u, 1},
          Case{2147483649u, 2}, Case{4294967295u, 1}, Case{0, 2147483647}}) {
        EXPECT_EQ(ReduceKey(c.value), c.key) << c.value;
        EXPECT_EQ(KeyOfText(std::to_string(c.value)), c.key) << c.value;
    }
    EXPECT_EQ(KeyOfText("000123"), 123);
    // 2^64 by digits: 2^31 is 1 modulo 2^31 - 1, so 2^64 = 2^(2*31) * 4 gives 4.
    EXPECT_EQ(KeyOfText("18446744073709551616"), 4);
    for (const std::string text : {"abc", "", "-5", "12a"}) {
        const int32_t key = KeyOfText(text);
        EXPECT_GE(key, 1) << text;
        EXPECT_EQ(KeyOfText(text), key) << text; // stable
    }
    EXPECT_NE(KeyOfText("abc"), KeyOfText("abd"));
}
