#include "fbdb/named_params.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* label;
    const char* sql;
    const char* positional;
    std::vector<std::string> names;
};

class RewriteNamedParamsTest : public testing::TestWithParam<Case> {};

TEST_P(RewriteNamedParamsTest, RewritesToPositionalAndKeepsNames) {
    const Case& c = GetParam();
    const fbdb::PositionalSql out = fbdb::RewriteNamedParams(c.sql);
    EXPECT_EQ(out.sql, c.positional);
    EXPECT_EQ(out.names, c.names);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RewriteNamedParamsTest,
    testing::Values(
        Case{"ColonNames",
             "select * from EAI_EVENTQ_GET(:IFC_MODULE_NAME, :EVENT_LIST) eg",
             "select * from EAI_EVENTQ_GET(?, ?) eg",
             {"IFC_MODULE_NAME", "EVENT_LIST"}},
        Case{"QuestionNames",
             "EXECUTE PROCEDURE EAI_EVENTQ_PUSHBACK (?EAI_IFC, ?ID_EVENT)",
             "EXECUTE PROCEDURE EAI_EVENTQ_PUSHBACK (?, ?)",
             {"EAI_IFC", "ID_EVENT"}},
        Case{"NamesUpperCasedWithDigitsAndDollar",
             "where a = :line_2 and b = ?x$y",
             "where a = ? and b = ?",
             {"LINE_2", "X$Y"}},
        Case{"RepeatedNameAtEachPosition",
             "where a = :X or b = :x",
             "where a = ? or b = ?",
             {"X", "X"}},
        Case{"BareQuestionMarks", "values (?, :A, ?)", "values (?, ?, ?)", {"", "A", ""}},
        Case{"StringLiteralUntouched",
             "where n = 'a:b ?c' and m = :M",
             "where n = 'a:b ?c' and m = ?",
             {"M"}},
        Case{"DoubledQuoteInsideLiteral",
             "where n = 'it''s :not' and m = :M",
             "where n = 'it''s :not' and m = ?",
             {"M"}},
        Case{"QuotedIdentifierUntouched",
             "select \":odd\" from T where a = :A",
             "select \":odd\" from T where a = ?",
             {"A"}},
        Case{"AlternativeQuoting",
             "where n = q'{a :b}' and m = Q'!x ?y!' and k = :K",
             "where n = q'{a :b}' and m = Q'!x ?y!' and k = ?",
             {"K"}},
        Case{"LineComment",
             "select 1 -- :NOT here\nfrom T where a = :A",
             "select 1 -- :NOT here\nfrom T where a = ?",
             {"A"}},
        Case{"BlockComment",
             "select /* :NOT ?here */ :A from T",
             "select /* :NOT ?here */ ? from T",
             {"A"}},
        Case{"ColonWithoutName",
             "select a, ':' from T where b = : C",
             "select a, ':' from T where b = : C",
             {}},
        Case{"UnterminatedLiteralCopiedAsIs", "select ':A", "select ':A", {}},
        Case{"EightBitBytesKept",
             "where n = '\xC8\xE2\xE0\xED' and m = :M",
             "where n = '\xC8\xE2\xE0\xED' and m = ?",
             {"M"}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.label; });

} // namespace
