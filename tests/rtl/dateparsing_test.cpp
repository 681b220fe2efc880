// Reading date components from texts by format, and formatting date-times.
#include "rtl/dateparsing.h"

#include <gtest/gtest.h>

namespace {

namespace D = rtl::Dateparsing;
using rtl::EConvertError;

struct ParseCase {
    const char* name;
    const char* text;
    const char* format;
    int year, month, day, hour, minute, second; // -1: conversion error expected
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.text << " / " << c.format;
}

class ParseComponents : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseComponents, ReadsWhereTheLettersStandOrRaises) {
    const ParseCase& c = GetParam();
    using Fn = int (*)(const std::string&, const std::string&);
    const std::pair<Fn, int> parts[] = {{D::parseYear, c.year},  {D::parseMonth, c.month},
                                        {D::parseDay, c.day},    {D::parseHour, c.hour},
                                        {D::parseMin, c.minute}, {D::parseSec, c.second}};
    int index = 0;
    for (const auto& [parse, expected] : parts) {
        SCOPED_TRACE(index++);
        if (expected < 0)
            EXPECT_THROW(parse(c.text, c.format), EConvertError);
        else
            EXPECT_EQ(parse(c.text, c.format), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ParseComponents,
    testing::Values(
        // The link library's date stamp.
        ParseCase{"DateStamp", "2024.03.05 07:08", "yyyy.mm.dd hh:nn", 2024, 3, 5, 7, 8, -1},
        // A ticket's call time: two-digit year as written.
        ParseCase{"CallTime", "0503241709", "ddmmyyhhnn", 24, 3, 5, 17, 9, -1},
        ParseCase{"WakeUpTime", "07:45", "hh:nn", -1, -1, -1, 7, 45, -1},
        ParseCase{"Seconds", "235959", "hhnnss", -1, -1, -1, 23, 59, 59},
        // Not digits where the letters stand, or the text too short.
        ParseCase{"NotDigits", "2024.0x.05 7:08", "yyyy.mm.dd hh:nn", 2024, -1, 5, -1, -1, -1},
        ParseCase{"TooShort", "0503", "ddmmyyhhnn", -1, 3, 5, -1, -1, -1},
        ParseCase{"Empty", "", "hh:nn", -1, -1, -1, -1, -1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DateTime, EncodesDaysSinceTheEpochWithTimeAsFraction) {
    EXPECT_DOUBLE_EQ(D::encodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(D::encodeDateTime(1900, 1, 1, 12, 0, 0), 2.5);
    EXPECT_DOUBLE_EQ(D::encodeDateTime(2024, 3, 5, 6, 0, 0), 45356.25);
    EXPECT_DOUBLE_EQ(D::encodeDateTime(2024, 2, 29, 0, 0, 0), 45351.0);
    EXPECT_DOUBLE_EQ(D::encodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
    for (const auto& bad : std::vector<std::array<int, 6>>{{2023, 2, 29, 0, 0, 0},
                                                           {2024, 13, 1, 0, 0, 0},
                                                           {2024, 1, 0, 0, 0, 0},
                                                           {2024, 1, 1, 24, 0, 0},
                                                           {2024, 1, 1, 0, 60, 0},
                                                           {2024, 1, 1, 0, 0, 60}}) {
        SCOPED_TRACE(testing::PrintToString(bad));
        EXPECT_THROW(D::encodeDateTime(bad[0], bad[1], bad[2], bad[3], bad[4], bad[5]),
                     EConvertError);
    }
}

TEST(DateTime, FormatsTheDocumentedLayouts) {
    const double t = D::encodeDateTime(2024, 3, 5, 7, 8, 9);
    EXPECT_EQ(D::formatDateTime("dd/mm/yyyy hh:nn:ss", t), "05/03/2024 07:08:09");
    EXPECT_EQ(D::formatDateTime("yyyy.mm.dd hh:nn", t), "2024.03.05 07:08");
    EXPECT_EQ(D::formatDateTime("ddmmyy", t), "050324");
    EXPECT_EQ(D::formatTime("hh:nn", t), "07:08");
    EXPECT_EQ(D::formatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t + 0.25 / 86400),
              "2024-03-05 07:08:09.250");
    // Durations as a time of day in the long time format; a day or more wraps.
    EXPECT_EQ(D::formatTime(D::LongTimeFormat, 125.0 / 86400), "0:02:05");
    EXPECT_EQ(D::formatTime(D::LongTimeFormat, (86400.0 + 3725) / 86400), "1:02:05");
    EXPECT_EQ(D::formatTime(D::LongTimeFormat, 0.999999999),
              "0:00:00"); // rounds to the next midnight
    EXPECT_EQ(D::formatDateTime("dd/mm/yyyy hh:nn", -1.25), "29/12/1899 06:00");
    EXPECT_THROW(D::formatDateTime("yyyy", 1e300), EConvertError);
}

TEST(DateTime, DecodeInvertsEncode) {
    for (const auto& [y, m, d, h, n, s] :
         std::vector<std::array<int, 6>>{{1899, 12, 30, 0, 0, 0},
                                         {1900, 3, 1, 23, 59, 59},
                                         {2000, 2, 29, 12, 30, 1},
                                         {2038, 1, 19, 3, 14, 8},
                                         {9999, 12, 31, 23, 59, 59},
                                         {1850, 6, 15, 18, 0, 0}}) {
        const auto p = D::decodeDateTime(D::encodeDateTime(y, m, d, h, n, s));
        EXPECT_EQ(std::vector<int>({p.year, p.month, p.day, p.hour, p.minute, p.second}),
                  std::vector<int>({y, m, d, h, n, s}));
    }
}

} // namespace
