#include "fbdb/error.h"
#include "fbdb/parameter_blocks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Parameter-block tags, written out from the engine's ibase.h by hand.
constexpr std::uint8_t kTpbVersion3 = 3, kConsistency = 1, kConcurrency = 2, kWait = 6, kNowait = 7,
                       kRead = 8, kWrite = 9, kReadCommitted = 15, kRecVersion = 17,
                       kNoRecVersion = 18;
constexpr std::uint8_t kDpbVersion1 = 1, kUserName = 28, kPassword = 29, kLcCtype = 48,
                       kRoleName = 60, kSqlDialect = 63;

struct TpbCase {
    const char* label;
    std::vector<std::string> words;
    Bytes tpb;
};

class TpbTest : public testing::TestWithParam<TpbCase> {};

TEST_P(TpbTest, WordsGiveExactBlock) {
    const TpbCase& c = GetParam();
    EXPECT_EQ(fbdb::BuildTpb(fbdb::TransactionOptions::FromWords(c.words)), c.tpb);
}

INSTANTIATE_TEST_SUITE_P(
    Words, TpbTest,
    testing::Values(
        // The event cycle's transaction, words as the manager declares them.
        TpbCase{"WriteNowaitRecVersionReadCommitted",
                {"write", "isc_tpb_nowait", "rec_version", "read_committed"},
                {kTpbVersion3, kWrite, kReadCommitted, kRecVersion, kNowait}},
        // The adapter's line-to-room reads.
        TpbCase{"ReadNowaitRecVersionReadCommitted",
                {"read", "nowait", "rec_version", "read_committed"},
                {kTpbVersion3, kRead, kReadCommitted, kRecVersion, kNowait}},
        TpbCase{"NoWordsIsEngineDefault", {}, {}},
        TpbCase{"PrefixAndCaseIgnored",
                {"ISC_TPB_READ", " Consistency "},
                {kTpbVersion3, kRead, kConsistency}},
        TpbCase{"ConcurrencyWait", {"concurrency", "wait"}, {kTpbVersion3, kConcurrency, kWait}},
        TpbCase{"NoRecVersion",
                {"read_committed", "no_rec_version", "write", "wait"},
                {kTpbVersion3, kWrite, kReadCommitted, kNoRecVersion, kWait}},
        TpbCase{"RepeatedWordAgrees", {"write", "isc_tpb_write"}, {kTpbVersion3, kWrite}}),
    [](const testing::TestParamInfo<TpbCase>& info) { return info.param.label; });

TEST(TpbErrorTest, RefusesUnknownAndContradictoryWords) {
    struct Row {
        std::vector<std::string> words;
        const char* named;
    };
    const Row rows[] = {
        {{"write", "writ"}, "'writ'"},
        {{"read", "write"}, "'write'"},
        {{"nowait", "isc_tpb_wait"}, "'isc_tpb_wait'"},
        {{"read_committed", "concurrency"}, "'concurrency'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.named);
        try {
            fbdb::TransactionOptions::FromWords(row.words);
            ADD_FAILURE() << "no error";
        } catch (const fbdb::Error& e) {
            EXPECT_NE(std::string(e.what()).find(row.named), std::string::npos) << e.what();
        }
    }
}

TEST(TpbErrorTest, RecordVersionNeedsReadCommitted) {
    for (const auto& words : {std::vector<std::string>{"rec_version"},
                              std::vector<std::string>{"concurrency", "no_rec_version"}}) {
        SCOPED_TRACE(words.back());
        EXPECT_THROW(fbdb::BuildTpb(fbdb::TransactionOptions::FromWords(words)), fbdb::Error);
    }
}

Bytes Text(std::uint8_t tag, const std::string& value) {
    Bytes out;
    out.push_back(tag);
    out.push_back(static_cast<std::uint8_t>(value.size()));
    for (char c : value)
        out.push_back(static_cast<std::uint8_t>(c));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        for (std::uint8_t b : part)
            out.push_back(b);
    return out;
}

TEST(DpbTest, LoginRoleCharsetAndDialect) {
    const Bytes expected = Concat({{kDpbVersion1},
                                   {kUserName, 6, 'S', 'Y', 'S', 'D', 'B', 'A'},
                                   {kPassword, 9, 'm', 'a', 's', 't', 'e', 'r', 'k', 'e', 'y'},
                                   {kRoleName, 2, 'H', 'K'},
                                   {kLcCtype, 4, 'N', 'O', 'N', 'E'},
                                   {kSqlDialect, 4, 3, 0, 0, 0}});
    // Order of the lines and letter case of the names do not matter.
    EXPECT_EQ(fbdb::BuildDpb({"SQL_ROLE_NAME=HK", "password=masterkey", "user_name=SYSDBA"}, 3),
              expected);
}

TEST(DpbTest, EmptyValuesAddNothingAndLaterLinesWin) {
    const Bytes expected = Concat({{kDpbVersion1},
                                   Text(kUserName, "CLERK"),
                                   Text(kPassword, "p=w \xE9"),
                                   {kLcCtype, 4, 'N', 'O', 'N', 'E'},
                                   {kSqlDialect, 4, 1, 0, 0, 0}});
    EXPECT_EQ(
        fbdb::BuildDpb(
            {"user_name=SYSDBA", "password=p=w \xE9", "sql_role_name=", "user_name=CLERK"}, 1),
        expected);
}

TEST(DpbTest, RefusesBadLinesAndDialects) {
    struct Row {
        std::vector<std::string> params;
        int dialect;
        const char* named;
    };
    const Row rows[] = {
        {{"user_name"}, 1, "'user_name'"},
        {{"lc_ctype=WIN1251"}, 1, "'lc_ctype'"},
        {{"password=" + std::string(256, 'x')}, 1, "password"},
        {{}, 0, "0"},
        {{}, 4, "4"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.named);
        try {
            fbdb::BuildDpb(row.params, row.dialect);
            ADD_FAILURE() << "no error";
        } catch (const fbdb::Error& e) {
            EXPECT_NE(std::string(e.what()).find(row.named), std::string::npos) << e.what();
        }
    }
}

} // namespace
