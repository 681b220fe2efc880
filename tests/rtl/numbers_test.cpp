// The one reader of integers with a fallback that every plug-in and dialog uses.
#include "rtl/numbers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IntOr, ReadsADecimalNumberWithBlanksAroundOrGivesTheFallback) {
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"250", 250},
        {" 250", 250},
        {"250 ", 250},
        {"\t250\r\n", 250},
        {"+5", 5},
        {"-7", -7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"", -1},
        {"   ", -1},
        {"abc", -1},
        {"12x", -1},
        {"1 2", -1},
        {"2.5", -1},
        {"0x1F", -1},
        {"+", -1},
        {"-", -1},
        {"+-3", -1},
        {"--3", -1},
        {"2147483648", -1},
        {std::string("12\0", 3), 12}, // a trailing NUL is a control byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        EXPECT_EQ(rtl::IntOr(c.text, -1), c.expected);
    }
}

} // namespace
