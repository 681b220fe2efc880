// Checksum, frame recognition, reassembly of the received stream, answer decoding and
// the record-field reader. Expected bytes are written out by hand.
#include "answer_decoder.h"
#include "frame_format.h"
#include "frame_kinds.h"
#include "frame_reassembler.h"
#include "record_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varnel;
using Item = FrameReassembler::Item;

namespace {

// A frame of `length` bytes: STX, the letter, blanks, ETX; `texts` placed at their
// 1-based positions.
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

Item FrameItem(const std::string& f) {
    return {Item::Kind::Frame, f};
}
Item ReplyItem(char c) {
    return {Item::Kind::Reply, std::string(1, c)};
}

} // namespace

TEST(WireFormat, CheckOutOfRoom101IsThirteenBytesWithChecksum54) {
    // D ^ five spaces ^ '1' ^ '0' ^ '1' = 0x44 ^ 0x20 ^ 0x30 = 0x54
    EXPECT_EQ(XorChecksum("D     101"), "54");
    EXPECT_EQ(FrameBytes(WithChecksum("D     101")), std::string("\x02"
                                                                 "D     10154\x03"));
    EXPECT_EQ(FrameBytes(WithChecksum("D     101")).size(), 13u);
}

TEST(WireFormat, ControlMessagesAndBareAcknowledgement) {
    EXPECT_EQ(FrameBytes(HandshakeBody), std::string("\x02\x40\xFF\xFF\xFF\xFF\x03", 7));
    EXPECT_EQ(FrameBytes(KeepAliveBody), std::string("\x02\x24\xFF\xFF\xFF\xFF\x03", 7));
    EXPECT_EQ(FrameBytes(AckBody), std::string("\x06"));
    EXPECT_EQ(XorChecksum(std::string("\x0F\xF0", 2)), "FF"); // upper-case digits
}

TEST(WireFormat, FramesAreRecognisedByLengthAndLetterOnly) {
    struct Case {
        std::string name;
        std::string frame;
        std::optional<FrameKind> kind;
    };
    const std::vector<Case> cases = {
        {"node report", Frame(7, '$'), FrameKind::NodeReport},
        {"call ticket", Frame(74, 'J'), FrameKind::CallTicket},
        {"ticket of 73 bytes", Frame(73, 'J'), std::nullopt},
        {"ticket of 75 bytes", Frame(75, 'J'), std::nullopt},
        {"check-in", Frame(61, 'A'), FrameKind::CheckIn},
        {"phone allocation", Frame(22, 'H'), FrameKind::PhoneAllocation},
        {"modification", Frame(61, 'M'), FrameKind::Modification},
        {"check-out", Frame(13, 'D'), FrameKind::CheckOut},
        {"room status", Frame(17, 'C'), FrameKind::RoomStatus},
        {"wake-up", Frame(38, 'P'), FrameKind::WakeUp},
        {"full re-initialisation", Frame(96, 'U'), FrameKind::FullReinitialization},
        {"partial re-initialisation", Frame(26, 'U'), FrameKind::PartialReinitialization},
        {"answer", Frame(19, 'R'), FrameKind::Answer},
        {"answer letter with a check-out length", Frame(13, 'R'), std::nullopt},
        {"two frames in one", Frame(13, 'D') + Frame(13, 'D'), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ClassifyFrame(c.frame), c.kind);
    }
}

// A stream of several frames with reply bytes and noise between them.
class ReassemblerStream : public ::testing::Test {
protected:
    const std::string ticket = Frame(74, 'J', {{3, "     101"}, {15, "1"}});
    const std::string answer = Frame(19, 'R', {{3, "     101"}, {11, "0000I "}, {17, "4B"}});
    const std::string node = std::string("\x02$N01\xFF\x03", 7);
    const std::string status = Frame(17, 'C', {{3, "     101"}, {11, "1ABC"}});
    std::string stream =
        "xy" + std::string("\x06") + ticket + "\x15" + answer + " \r\n" + node + status;
    const std::vector<Item> expected = {ReplyItem('\x06'), FrameItem(ticket), ReplyItem('\x15'),
                                        FrameItem(answer), FrameItem(node),   FrameItem(status)};

    std::vector<Item> FeedInPieces(const std::vector<size_t>& cuts) {
        FrameReassembler r;
        std::vector<Item> items;
        size_t from = 0;
        for (size_t cut : cuts) {
            for (auto& item : r.feed(std::string_view(stream).substr(from, cut - from)))
                items.push_back(item);
            from = cut;
        }
        for (auto& item : r.feed(std::string_view(stream).substr(from)))
            items.push_back(item);
        EXPECT_FALSE(r.inFrame());
        return items;
    }
};

TEST_F(ReassemblerStream, EveryFrameComesOutOnceInOrderWhereverTheStreamIsCut) {
    ASSERT_EQ(FeedInPieces({}), expected);
    for (size_t i = 0; i <= stream.size(); ++i) {
        SCOPED_TRACE("cut at " + std::to_string(i));
        ASSERT_EQ(FeedInPieces({i}), expected);
    }
    for (size_t i = 0; i <= stream.size(); i += 3)
        for (size_t j = i; j <= stream.size(); ++j) {
            SCOPED_TRACE("cuts at " + std::to_string(i) + " and " + std::to_string(j));
            ASSERT_EQ(FeedInPieces({i, j}), expected);
        }
}

TEST_F(ReassemblerStream, ByteByByte) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < stream.size(); ++i)
        cuts.push_back(i);
    EXPECT_EQ(FeedInPieces(cuts), expected);
}

TEST(FrameReassembler, NoiseIsSkippedAndCounted) {
    FrameReassembler r;
    EXPECT_TRUE(r.feed("ab \r\n").empty());
    EXPECT_EQ(r.skippedBytes(), 5u);
    // A frame whose ETX was lost is abandoned at the next STX.
    const std::string good = Frame(13, 'D', {{3, "     101"}});
    const auto items = r.feed("\x02J lost" + good);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], FrameItem(good));
    EXPECT_EQ(r.skippedBytes(), 5u + 7u);
    // A frame that never ends is dropped once it is longer than any frame can be.
    EXPECT_TRUE(r.feed("\x02" + std::string(FrameReassembler::MaxFrameLength, 'x')).empty());
    EXPECT_FALSE(r.inFrame());
    EXPECT_EQ(r.feed(good), std::vector<Item>{FrameItem(good)});
}

TEST(DecodeAnswer, SlotsOfAnAnswerFrame) {
    struct Case {
        std::string name;
        std::string letters; // answer and reason letter, at positions 15 and 16
        std::string codes;
        std::string texts;
    };
    const std::vector<Case> cases = {
        {"accepted, blank reason", "I ", std::string("101|I|\0|", 8),
         "101|0000|Check In accepted||"},
        {"refused, room already allocated", "JA", "101|J|A|",
         "101|0000|Check In refused|Room already allocated|"},
        {"letters outside the tables", "XZ", "101|X|Z|", "101|0000|X|Z|"},
        {"reason Q with the 0x92 apostrophe", "JQ", "101|J|Q|",
         "101|0000|Check In refused|Unreachable database (the PBX doesn\x92t answer)|"},
        {"blank answer letter", " T", std::string("101|\0|T|", 8), "101|0000||Other|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AnswerSlots slots =
            DecodeAnswer(Frame(19, 'R', {{3, "     101"}, {11, "0000"}, {15, c.letters}}));
        EXPECT_EQ(slots.codes, c.codes);
        EXPECT_EQ(slots.texts, c.texts);
    }
}

TEST(DecodeAnswer, EveryLetterText) {
    const std::vector<std::pair<char, std::string>> answers = {
        {'A', "Phone Allocation accepted"},
        {'B', "Phone Allocation refused"},
        {'I', "Check In accepted"},
        {'J', "Check In refused"},
        {'M', "Modification accepted"},
        {'N', "Modification refused"},
        {'O', "Check Out accepted (not used)"},
        {'P', "Check Out refused"},
        {'Q', "Interrogation accepted (not used)"},
        {'R', "Interrogation refused"},
        {'T', "Re-initialisation refused"},
    };
    for (const auto& [letter, text] : answers)
        EXPECT_EQ(AnswerLetterText(std::string(1, letter)), text) << letter;
    const std::vector<std::pair<char, std::string>> reasons = {
        {'A', "Room already allocated"},
        {'G', "Invalid number"},
        {'J', "Non available feature"},
        {'K', "Wrong message"},
        {'M', "Not consulted message"},
        {'O', "Room set out of service"},
        {'R', "Invalid room extension number (not used)"},
        {'T', "Other"},
        {'U', "Unavailable room extension"},
    };
    for (const auto& [letter, text] : reasons)
        EXPECT_EQ(ReasonLetterText(std::string(1, letter)), text) << letter;
    EXPECT_EQ(ReasonLetterText(""), "");
}

TEST(GetField, Cases) {
    struct Case {
        int n;
        std::string text;
        std::string field;
    };
    const std::vector<Case> cases = {
        {1, "a|b|", "a"}, {2, "a|b|", "b"}, {3, "a|b|", ""},      {1, "abc", ""},  {2, "a|b", ""},
        {1, "'x'|", "x"}, {1, "'|", "'"},   {1, "x'|", "x"},      {1, "'x|", "x"}, {2, "|''|", ""},
        {1, "|", ""},     {0, "a|", ""},    {3, "1|2|3|4|", "3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetField(c.n, c.text), c.field) << c.n << " of " << c.text;
}

TEST(RecordText, TrimAndNumbers) {
    EXPECT_EQ(TrimBlanks(std::string("\x01 a b\t\r\n", 8)), "a b");
    EXPECT_EQ(DecimalOrZero("101"), 101);
    EXPECT_EQ(DecimalOrZero("10A"), 0);
    EXPECT_EQ(DecimalOrZero(""), 0);
    EXPECT_EQ(DecimalOrZero("-7"), -7);
    EXPECT_EQ(DecimalOrZero("99999999999"), 0);
}
