// The simulator's frames: built from field values (bytes checked by hand), printed
// readably, and requests recognised.
#include "hlsim/frames.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace hlsim;

TEST(BuildFrame, FieldsRightAlignedWithChecksum) {
    // C 43 ^ five blanks 20 ^ "101" 30 ^ "1" 31 ^ "ABC" 40 = 22
    EXPECT_EQ(BuildFrame("roomstatus", {{"room", "101"}, {"status", "1"}, {"field", "ABC"}}),
              "\x02"
              "C     1011ABC22\x03");
    // R 52 ^ 5 blanks 20 ^ "101" 30 ^ "0000" 00 ^ I 49 ^ blank 20 = 2B
    EXPECT_EQ(AnswerFrame("101", 'I'), "\x02R     1010000I 2B\x03");
    EXPECT_EQ(BuildFrame("node", {{"id", "N001"}}), "\x02$N001\x03");    // no checksum
    EXPECT_EQ(BuildFrame("wakeup", {{"room", "1"}}).substr(10, 1), "W"); // default at 11
    for (const FrameLayout& layout : DriverFrameLayouts())
        EXPECT_EQ(BuildFrame(layout.kind, {}).size(), layout.length) << layout.kind;
}

TEST(BuildFrame, ErrorsNameTheBadValue) {
    struct Case {
        std::string kind;
        FieldValues values;
        std::string inMessage;
    };
    for (const Case& c :
         {Case{"tickets", {}, "\"tickets\""}, Case{"ticket", {{"room", "1"}}, "\"room\""},
          Case{"roomstatus", {{"room", "123456789"}}, "\"123456789\""}}) {
        try {
            BuildFrame(c.kind, c.values);
            ADD_FAILURE() << c.kind;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.inMessage), std::string::npos) << e.what();
        }
    }
}

TEST(Readable, ControlBytesByName) {
    EXPECT_EQ(Readable(std::string("\x02"
                                   "A\x03\x06\x15\x0D\xFF z",
                                   9)),
              "<STX>A<ETX><ACK><NAK><0D><FF> z");
}

TEST(ParseRequest, TypesAndRooms) {
    struct Case {
        std::string frame;
        std::string type;
        std::string room;
    };
    const std::string blank57 = std::string(57 - 9, ' ');
    for (const Case& c :
         {Case{"\x02"
               "D     10154\x03",
               "D", "101"},
          Case{"\x02H     101R        xx\x03", "HR", "101"},
          Case{"\x02H     101I        xx\x03", "HI", "101"},
          Case{"\x02Z     101Pxx\x03", "ZP", "101"}, Case{"\x02I    1010xx\x03", "I", "1010"},
          Case{"\x02"
               "A     101" +
                   blank57 + "xx\x03",
               "A", "101"}}) {
        SCOPED_TRACE(Readable(c.frame));
        const auto request = ParseRequest(c.frame);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->type, c.type);
        EXPECT_EQ(request->room, c.room);
    }
    EXPECT_FALSE(ParseRequest(std::string("\x02@\xFF\xFF\xFF\xFF\x03", 7)));
    EXPECT_FALSE(ParseRequest("\x02"
                              "D     101\x03"));
    EXPECT_EQ(Describe("\x02"
                       "D     10154\x03",
                       false),
              "check-out request room=101");
}
