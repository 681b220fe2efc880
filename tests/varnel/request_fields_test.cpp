// Request fields and bodies of the hotel commands, written out by hand.
#include "frame_format.h"
#include "request_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varnel;

TEST(Transliterate, EveryCyrillicLetterOfWindows1251) {
    // Upper-case letters 0xC0..0xDF in order; nullptr marks the two kept unchanged.
    const std::vector<const char*> upper = {"A",  "B",   "V",  "G",     "D", "E",     "J",  "Z",
                                            "I",  "Y",   "K",  "L",     "M", "N",     "O",  "P",
                                            "R",  "S",   "T",  "U",     "F", "H",     "C",  "CH",
                                            "SH", "SHT", "AA", nullptr, "",  nullptr, "IU", "IA"};
    for (int i = 0; i < 32; ++i) {
        const std::string big(1, char(0xC0 + i));
        const std::string small(1, char(0xE0 + i));
        SCOPED_TRACE(i);
        if (!upper[i]) {
            EXPECT_EQ(Transliterate(big), big);
            EXPECT_EQ(Transliterate(small), small);
            continue;
        }
        std::string lower = upper[i];
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(Transliterate(big), upper[i]);
        EXPECT_EQ(Transliterate(small), lower);
    }
    EXPECT_EQ(Transliterate("Smith 7\xA8"), "Smith 7\xA8"); // other bytes stay
}

TEST(PadField, Cases) {
    struct Case {
        std::string name;
        std::string text;
        size_t width;
        char fill;
        std::string field;
    };
    const std::vector<Case> cases = {
        {"right-aligned, upper-cased", "Smith", 10, ' ', "     SMITH"},
        {"cut on the right", "Abcdefghijkl", 10, ' ', "ABCDEFGHIJ"},
        {"Cyrillic name transliterated", "\xC8\xE2\xE0\xED\xEE\xE2", 10, ' ', "    IVANOV"},
        {"twelve Cyrillic letters lose the last two",
         "\xC0\xEB\xE5\xEA\xF1\xE0\xED\xE4\xF0\xEE\xE2\xE0", 10, ' ', "ALEKSANDRO"},
        {"spellings of several letters", "\xD9\xF3\xEA\xE0", 10, ' ', "    SHTUKA"},
        {"soft sign removed, Y and E kept as they are", "\xDC\xFC\xDB\xFB\xDD\xFD", 4, ' ',
         "\xDB\xFB\xDD\xFD"},
        {"control bytes become blanks",
         "A\x02"
         "B\x03",
         4, ' ', "A B "},
        {"a name cannot end a frame",
         "\x03\x02"
         "D",
         3, ' ', "  D"},
        {"barring filled with zeros", "3", 2, '0', "03"},
        {"empty text is all fill", "", 4, ' ', "    "},
        {"digits and signs unchanged", "7-b", 3, ' ', "7-B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PadField(c.text, c.width, c.fill), c.field);
    }
}

TEST(RequestBodies, CheckInOfRoom101ByteForByte) {
    const std::string body = CheckInBody("101", "Smith", "2", "1234");
    const std::string expected = std::string("A") + "     101" + " " + "     SMITH" +
                                 std::string(10, ' ') + "2" + "    " + "1234" + "03" +
                                 std::string(10, ' ') + "000000";
    EXPECT_EQ(body, expected);
    EXPECT_EQ(body.size(), 57u);
    // By hand: A 41 ^ "101" 30 ^ "SMITH" 4B ^ "2" 32 ^ "1234" 04 ^ "03" 03 ^ "000000" 00
    // ^ 35 blanks 20 = 2F
    EXPECT_EQ(XorChecksum(body), "2F");
}

TEST(RequestBodies, Modifications) {
    const std::string room = "     101";
    const std::string gap10(10, ' ');
    struct Case {
        std::string name;
        Modification kind;
        std::string value;
        // positions 11-20, 31, 36-39, 40-41, 52-55, 56, 57
        std::string name10, language, password, barring, wakeUp, stop, dnd;
    };
    const std::vector<Case> cases = {
        {"SetName", Modification::Name, "Smith", "     SMITH", "0", "    ", "  ", "    ", " ", " "},
        {"SetLanguage", Modification::Language, "3", "0000000000", "3", "    ", "  ", "    ", " ",
         " "},
        {"SetPassword", Modification::Password, "4321", "0000000000", "0", "4321", "  ", "    ",
         " ", " "},
        {"SetBarring 3", Modification::Barring, "3", "0000000000", "0", "    ", "03", "    ", " ",
         " "},
        {"SetWakeUpTime 07:30", Modification::WakeUpTime, "07:30", "0000000000", "0", "    ", "  ",
         "0730", " ", " "},
        {"SetWakeUpTime 7:30", Modification::WakeUpTime, "7:30", "0000000000", "0", "    ", "  ",
         "1200", " ", " "},
        {"SetWakeUpTime 0645", Modification::WakeUpTime, "0645", "0000000000", "0", "    ", "  ",
         "0645", " ", " "},
        {"StopWakeUp", Modification::StopWakeUp, "", "0000000000", "0", "    ", "  ", "    ", "0",
         " "},
        {"SetDoNotDistrib 1", Modification::DoNotDisturb, "1", "0000000000", "0", "    ", "  ",
         "    ", " ", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = "M" + room + " " + c.name10 + gap10 + c.language + "    " +
                                     c.password + c.barring + gap10 + c.wakeUp + c.stop + c.dnd;
        EXPECT_EQ(ModificationBody(c.kind, "101", c.value), expected);
    }
}

TEST(RequestBodies, ShortRequests) {
    EXPECT_EQ(CheckOutBody("101"), "D     101");
    EXPECT_EQ(PhoneBody("101", 'R'), "H     101R        ");
    EXPECT_EQ(PhoneBody("101", 'I'), "H     101I        ");
    EXPECT_EQ(InterrogationBody("101"), "I     101");
    EXPECT_EQ(ReinitializeBody("101", 'F'), "Z     101F");
    EXPECT_EQ(ReinitializeBody("101", 'P'), "Z     101P");
}
