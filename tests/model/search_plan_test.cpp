#include <gtest/gtest.h>

#include "core/text.h"
#include "core/tokenizer.h"
#include "model/search_plan.h"

namespace qf {
namespace {

using Strings = std::vector<std::string>;

PlanOutcome planFor(const std::string& query, bool regexMode, bool caseSensitive) {
    return planSearch(strTokenize(trimSpaces(query)), regexMode, caseSensitive);
}

struct WordCase {
    const char* query;
    bool caseSensitive;
    Strings indexTerms;
    Strings patternTokens;
    std::optional<std::string> chosenLiteral;
    Strings literalFilter;
    friend void PrintTo(const WordCase& c, std::ostream* os) { *os << "'" << c.query << (c.caseSensitive ? "' case-sensitive" : "'"); }
};

class WordPlanning : public ::testing::TestWithParam<WordCase> {};

TEST_P(WordPlanning, SplitsTheQueryIntoItsRoles) {
    const WordCase& c = GetParam();
    const PlanOutcome outcome = planFor(c.query, false, c.caseSensitive);
    ASSERT_TRUE(std::holds_alternative<SearchPlan>(outcome));
    const auto& plan = std::get<SearchPlan>(outcome);
    EXPECT_EQ(plan.indexTerms, c.indexTerms);
    EXPECT_EQ(plan.patternTokens, c.patternTokens);
    EXPECT_EQ(plan.chosenLiteral, c.chosenLiteral);
    EXPECT_EQ(plan.literalFilter, c.literalFilter);
    EXPECT_FALSE(plan.expression.has_value());
    EXPECT_EQ(plan.caseSensitiveCheck, c.caseSensitive);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, WordPlanning,
    ::testing::Values(
        WordCase{"report", false, {"report"}, {}, std::nullopt, {}},
        WordCase{"report ab", false, {"report"}, {}, std::nullopt, {"ab"}},
        WordCase{"report ab", true, {"report"}, {}, std::nullopt, {"ab"}},
        WordCase{"a report", false, {"report"}, {}, std::nullopt, {}},
        WordCase{"report 2024 ab x1", false, {"report", "2024"}, {}, std::nullopt, {"ab", "x1"}},
        WordCase{"ab", false, {}, {}, "ab", {}},
        WordCase{"i'm", false, {}, {}, "i'm", {}},
        WordCase{"ab AB", false, {}, {}, "ab", {"AB"}},
        WordCase{"ab cd ab", false, {}, {}, "ab", {"cd"}},
        WordCase{"x ab cd", false, {}, {}, "ab", {"cd"}},
        WordCase{"a b", false, {}, {}, std::nullopt, {}},
        WordCase{".pdf", false, {}, {".pdf"}, std::nullopt, {}},
        WordCase{"*.PDF", false, {}, {"*.pdf"}, std::nullopt, {}},
        WordCase{"ab .pdf", false, {}, {".pdf"}, std::nullopt, {"ab"}},
        WordCase{"a .pdf", false, {}, {".pdf"}, std::nullopt, {}},
        WordCase{"Report .TXT x1", false, {"Report"}, {".txt"}, std::nullopt, {"x1"}},
        WordCase{"docs/report", false, {"report"}, {}, std::nullopt, {}},
        WordCase{"/home/x/Docs/ab", false, {}, {}, "ab", {}},
        WordCase{"\"big report\" ab", false, {"big report"}, {}, std::nullopt, {"ab"}},
        WordCase{"报告", false, {"报告"}, {}, std::nullopt, {}},
        WordCase{"é", false, {"é"}, {}, std::nullopt, {}},
        WordCase{"*", false, {}, {"*"}, std::nullopt, {}}));

TEST(WordPlanning, EveryRepetitionOfTheChosenLiteralIsLeftOut) {
    const PlanOutcome outcome = planFor("ab ab ab", false, false);
    ASSERT_TRUE(std::holds_alternative<SearchPlan>(outcome));
    EXPECT_EQ(std::get<SearchPlan>(outcome).chosenLiteral, "ab");
    EXPECT_TRUE(std::get<SearchPlan>(outcome).literalFilter.empty());
}

struct ExpressionCase {
    const char* query;
    bool caseSensitive;
    std::optional<PlanStop> stop;
    Strings indexTerms;
    friend void PrintTo(const ExpressionCase& c, std::ostream* os) { *os << "'" << c.query << "'"; }
};

class ExpressionPlanning : public ::testing::TestWithParam<ExpressionCase> {};

TEST_P(ExpressionPlanning, CompilesAndLooksUpTheLiteralRuns) {
    const ExpressionCase& c = GetParam();
    const PlanOutcome outcome = planFor(c.query, true, c.caseSensitive);
    if (c.stop) {
        ASSERT_TRUE(std::holds_alternative<PlanStop>(outcome));
        EXPECT_EQ(std::get<PlanStop>(outcome), *c.stop);
        return;
    }
    ASSERT_TRUE(std::holds_alternative<SearchPlan>(outcome));
    const auto& plan = std::get<SearchPlan>(outcome);
    EXPECT_EQ(plan.indexTerms, c.indexTerms);
    EXPECT_TRUE(plan.expression.has_value());
    EXPECT_TRUE(plan.patternTokens.empty());
    EXPECT_FALSE(plan.chosenLiteral.has_value());
    EXPECT_TRUE(plan.literalFilter.empty());
    // The expression itself carries the case switch.
    EXPECT_FALSE(plan.caseSensitiveCheck);
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, ExpressionPlanning,
    ::testing::Values(ExpressionCase{"[", false, PlanStop::expressionInvalid, {}},
                      ExpressionCase{"(", true, PlanStop::expressionInvalid, {}},
                      ExpressionCase{".*", false, PlanStop::expressionUnusable, {}},
                      ExpressionCase{"^$", true, PlanStop::expressionUnusable, {}},
                      ExpressionCase{"foo|bar", false, std::nullopt, {"foo", "bar"}},
                      ExpressionCase{"docs/report", false, std::nullopt, {"docs", "report"}},
                      ExpressionCase{"Report.*2024", true, std::nullopt, {"Report", "2024"}},
                      ExpressionCase{"^report_\\w+\\.txt$", false, std::nullopt, {"report", "txt"}},
                      ExpressionCase{"[0-9]+", false, PlanStop::expressionUnusable, {}}));

TEST(ExpressionPlanning, TokensAreJoinedWithSingleSpaces) {
    const PlanOutcome outcome = planFor("foo   bar", true, false);
    ASSERT_TRUE(std::holds_alternative<SearchPlan>(outcome));
    const auto& expression = std::get<SearchPlan>(outcome).expression;
    ASSERT_TRUE(expression.has_value());
    EXPECT_TRUE(expression->matches("x foo bar y"));
    EXPECT_FALSE(expression->matches("foo  bar"));
}

TEST(ExpressionPlanning, CaseSwitchDecidesTheExpressionOptions) {
    const auto insensitive = std::get<SearchPlan>(planFor("report", true, false));
    const auto sensitive = std::get<SearchPlan>(planFor("report", true, true));
    EXPECT_TRUE(insensitive.expression->matches("REPORT.txt"));
    EXPECT_FALSE(sensitive.expression->matches("REPORT.txt"));
    EXPECT_TRUE(sensitive.expression->matches("report.txt"));
}

}  // namespace
}  // namespace qf
