// The binding's readings of the link library's texts, and the spool line the
// ticket pass writes, against values worked out by hand.
#include "value_conversion.h"
#include "varnel_dm.h"

#include "rtl/dateparsing.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using mod_varnel::parseDateStamp;
using mod_varnel::parseDateTime;
using mod_varnel::StrToInt;
using mod_varnel::TvarnelDM;

TEST(StrToInt, ReadsWholeDecimalTextsOnly) {
    struct Case {
        const char* text;
        bool readable;
        int32_t value;
    };
    const Case cases[] = {
        {"0", true, 0},           {"42", true, 42},     {"-7", true, -7},
        {"+5", true, 5},          {"00125", true, 125}, {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, {"", false, 0},       {"12x", false, 0},
        {" 1", false, 0},         {"1 ", false, 0},     {"0x1F", false, 0},
        {"-", false, 0},          {"+", false, 0},      {"abc", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.readable) {
            EXPECT_EQ(StrToInt(c.text), c.value);
        } else {
            EXPECT_THROW(StrToInt(c.text), rtl::EConvertError);
        }
    }
}

// Days from 30 December 1899 of a date and time, worked out independently of
// the date parsing under test.
double Days(int daysSinceEpoch, int hour, int minute, int second = 0) {
    return daysSinceEpoch + (hour * 3600 + minute * 60 + second) / 86400.0;
}

TEST(ParseDateTime, ReadsTheFormatsOfTheLinkLibrary) {
    struct Case {
        const char* text;
        const char* format;
        double expected;
    };
    // 1 February 2024 is day 45323, 31 December 2099 day 73050.
    const Case cases[] = {
        {"0102241530", "ddmmyyhhnn", Days(45323, 15, 30)},
        {"01022409050", "ddmmyyhhnn", Days(45323, 9, 5)}, // the extra digit is not read
        {"3112991200", "ddmmyyhhnn", Days(73050, 12, 0)},
        {"2024.02.01 09:05", "yyyy.mm.dd hh:nn", Days(45323, 9, 5)}, // four digits as written
        {"07:30", "hh:nn", Days(0, 7, 30)},                          // a time of day alone
        {"0730", "hhnn", Days(0, 7, 30)},
        {"010224", "ddmmyy", Days(45323, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.format);
        EXPECT_NEAR(parseDateTime(c.text, c.format), c.expected, 1e-9);
    }
}

TEST(ParseDateTime, TextsThatFormNoDateTimeRaiseAndReadAsZeroForCallers) {
    struct Case {
        const char* text;
        const char* format;
    };
    const Case cases[] = {
        {"", "ddmmyyhhnn"},
        {"abc", "ddmmyyhhnn"},
        {"3102241530", "ddmmyyhhnn"}, // 31 February
        {"0102242530", "ddmmyyhhnn"}, // hour 25
        {"xx.02.01 09:05", "yyyy.mm.dd hh:nn"},
        {"25:00", "hh:nn"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.format);
        EXPECT_THROW(parseDateTime(c.text, c.format), rtl::EConvertError);
        EXPECT_EQ(mod_varnel::parseDateTimeOrZero(c.text, c.format), 0.0);
    }
    EXPECT_EQ(parseDateStamp("not a stamp"), 0.0);
    EXPECT_NEAR(parseDateStamp("2024.02.01 09:05"), Days(45323, 9, 5), 1e-9);
}

// Eight columns of 20 bytes, right-aligned and cut on the right, then CR LF.
std::string Columns(std::initializer_list<std::string> texts) {
    std::string line;
    for (const std::string& t : texts)
        line += std::string(20 - t.size(), ' ') + t;
    return line + "\r\n";
}

TEST(FormatSpoolLine, GivesOneFixedWidthLinePerTicket) {
    struct Case {
        const char* name;
        std::string line;
        int32_t duration;
        double callTime;
        std::string field4;
        std::string field20;
        std::string expected;
    };
    const Case cases[] = {
        {"minutes and seconds", "101", 125, Days(45323, 15, 30), "0001", "0049123456",
         Columns({"01/02/2024 15:30:00", "101", "0001", "0:02:05", "0049123456", "0", "", ""})},
        {"hours without a leading zero", "2101", 3725, Days(45323, 9, 5), "", "",
         Columns({"01/02/2024 09:05:00", "2101", "", "1:02:05", "", "0", "", ""})},
        {"a day or more wraps", "2101", 86400 + 61, Days(45323, 9, 5), "", "",
         Columns({"01/02/2024 09:05:00", "2101", "", "0:01:01", "", "0", "", ""})},
        {"unreadable call time", "101", 0, 0, "", "",
         Columns({"30/12/1899 00:00:00", "101", "", "0:00:00", "", "0", "", ""})},
        {"20-character field fills its column", "101", 1, Days(45323, 0, 0), "",
         "ABCDEFGHIJKLMNOPQRST",
         Columns(
             {"01/02/2024 00:00:00", "101", "", "0:00:01", "ABCDEFGHIJKLMNOPQRST", "0", "", ""})},
        {"longer texts are cut to 20 bytes", "123456789012345678901234", 1, Days(45323, 0, 0), "",
         "\xC8\xE2\xE0\xED\xEE\xE2 \xC8\xE2\xE0\xED 0123456789XYZ",
         Columns({"01/02/2024 00:00:00", "12345678901234567890", "", "0:00:01",
                  "\xC8\xE2\xE0\xED\xEE\xE2 \xC8\xE2\xE0\xED 01234567", "0", "", ""})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string line =
            TvarnelDM::formatSpoolLine(c.line, c.duration, c.callTime, c.field4, c.field20);
        EXPECT_EQ(line, c.expected);
        EXPECT_EQ(line.size(), 162u);
    }
}

} // namespace
