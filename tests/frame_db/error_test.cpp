#include "fbdb/error.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <cstring>
#include <string>

namespace {

// The engine reuses the memory behind a status vector's strings; the error
// must own copies of them.
TEST(ErrorTest, OwnsCopiesOfTheStatusVectorStrings) {
    std::string table = "ROOMS";
    std::string counted = "counted text";
    const std::intptr_t vector[] = {isc_arg_gds,
                                    isc_dsql_relation_err,
                                    isc_arg_string,
                                    reinterpret_cast<std::intptr_t>(table.c_str()),
                                    isc_arg_gds,
                                    isc_deadlock,
                                    isc_arg_cstring,
                                    5,
                                    reinterpret_cast<std::intptr_t>(counted.c_str()),
                                    isc_arg_number,
                                    42,
                                    isc_arg_end};
    const fbdb::Error original("text", vector);
    const fbdb::Error error = original; // copies share the owned strings
    table.assign("XXXXX");
    counted.assign("YYYYYYYYYYYY");

    EXPECT_STREQ(error.what(), "text");
    EXPECT_EQ(error.codes(), (std::vector<std::intptr_t>{isc_dsql_relation_err, isc_deadlock}));
    EXPECT_EQ(error.code(), isc_dsql_relation_err);
    EXPECT_TRUE(error.hasCode(isc_deadlock));
    EXPECT_FALSE(error.hasCode(isc_update_conflict));

    const std::intptr_t* copy = error.statusVector();
    ASSERT_EQ(copy[2], isc_arg_string);
    EXPECT_STREQ(reinterpret_cast<const char*>(copy[3]), "ROOMS");
    ASSERT_EQ(copy[6], isc_arg_cstring);
    ASSERT_EQ(copy[7], 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy[8]), 5), "count");
    EXPECT_EQ(copy[9], isc_arg_number);
    EXPECT_EQ(copy[10], 42);
    EXPECT_EQ(copy[11], isc_arg_end);
}

TEST(ErrorTest, LayerErrorHasNoCode) {
    const fbdb::Error error("Unknown parameter X");
    EXPECT_STREQ(error.what(), "Unknown parameter X");
    EXPECT_TRUE(error.codes().empty());
    EXPECT_EQ(error.code(), 0);
    EXPECT_EQ(error.statusVector()[0], isc_arg_end);
}

} // namespace
