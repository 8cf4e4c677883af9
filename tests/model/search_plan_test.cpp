// What planSearch adds to the word roles of the query plan: path-like words
// reduced to their tail, the case switch, and expression mode.
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

TEST(WordPlanning, ReducesPathLikeWordsAndCarriesTheCaseSwitch) {
    const struct {
        const char* query;
        bool caseSensitive;
        Strings indexTerms, patternTokens;
        std::optional<std::string> chosenLiteral;
        Strings literalFilter;
    } cases[] = {
        {"report ab", false, {"report"}, {}, std::nullopt, {"ab"}},
        {"report ab", true, {"report"}, {}, std::nullopt, {"ab"}},
        {"docs/report", false, {"report"}, {}, std::nullopt, {}},
        {"/home/x/Docs/ab", false, {}, {}, "ab", {}},
        {"Report .TXT x1", true, {"Report"}, {".txt"}, std::nullopt, {"x1"}},
        {"\"big report\" ab", false, {"big report"}, {}, std::nullopt, {"ab"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.query) + (c.caseSensitive ? " case-sensitive" : ""));
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
}

TEST(ExpressionPlanning, CompilesAndLooksUpTheLiteralRuns) {
    const struct {
        const char* query;
        bool caseSensitive;
        std::optional<PlanStop> stop;
        Strings indexTerms;
    } cases[] = {
        {"[", false, PlanStop::expressionInvalid, {}},
        {"(", true, PlanStop::expressionInvalid, {}},
        {".*", false, PlanStop::expressionUnusable, {}},
        {"^$", true, PlanStop::expressionUnusable, {}},
        {"[0-9]+", false, PlanStop::expressionUnusable, {}},
        {"docs/report", false, std::nullopt, {"docs", "report"}},
        {"Report.*2024", true, std::nullopt, {"Report", "2024"}},
        {"^report_\\w+\\.txt$", false, std::nullopt, {"report", "txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const PlanOutcome outcome = planFor(c.query, true, c.caseSensitive);
        if (c.stop) {
            ASSERT_TRUE(std::holds_alternative<PlanStop>(outcome));
            EXPECT_EQ(std::get<PlanStop>(outcome), *c.stop);
            continue;
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
}

TEST(ExpressionPlanning, TokensAreJoinedWithSingleSpaces) {
    const PlanOutcome outcome = planFor("foo   bar", true, false);
    ASSERT_TRUE(std::holds_alternative<SearchPlan>(outcome));
    const auto& expression = std::get<SearchPlan>(outcome).expression;
    ASSERT_TRUE(expression.has_value());
    EXPECT_TRUE(expression->matches("x foo bar y"));
    EXPECT_FALSE(expression->matches("foo  bar"));
}

}  // namespace
}  // namespace qf
