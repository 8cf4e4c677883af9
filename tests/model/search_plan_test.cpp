// The name rules of a run apart from the Model: the literal runs an
// expression asks the index for and the local name test.
#include <gtest/gtest.h>

#include "model/expression_literals.h"
#include "model/name_query.h"

namespace qf {
namespace {

using Strings = std::vector<std::string>;

TEST(RequiredLiterals, AreTheRunsEveryMatchingNameContains) {
    const std::pair<const char*, Strings> cases[] = {
        // Plain runs and alternatives stay as they are.
        {"foo|bar", {"foo", "bar"}},
        {"Report.*2024", {"Report", "2024"}},
        {"报告\\d+", {"报告"}},
        // Escapes are syntax, not name text.
        {"^report_\\w+\\.txt$", {"report", "txt"}},
        {"\\p{Lu}\\w+", {}},
        {"\\x{1F600}smile", {"smile"}},
        {"a\\\\b", {"a", "b"}},
        {"\\Qa.b\\E", {"a", "b"}},
        {"(a)\\1x", {"a", "x"}},
        // A class matches one of its members.
        {"[]a]b", {"b"}},
        {"[^\\]x]yz", {"yz"}},
        {"[[:alpha:]]+end", {"end"}},
        // Optional atoms and counts.
        {"colou?r", {"colo", "r"}},
        {"a{0,3}bc", {"bc"}},
        {"a{2}bc", {"a", "bc"}},
        {"(draft)?report", {"report"}},
        {"ab+?c", {"ab", "c"}},
        // Group syntax.
        {"(?<year>\\d{4})-report", {"report"}},
        {"(?:ab)cd", {"ab", "cd"}},
        {"(?#note)report", {"report"}},
        {"^(?!v2).*report", {"report"}},
        {"report(?=2024)", {"report", "2024"}},
    };
    for (const auto& [expression, literals] : cases) EXPECT_EQ(requiredLiterals(expression), literals) << expression;
}

TEST(NameFilter, ReadsTheCaseSwitchAtTestTime) {
    // Planned case-insensitive, then the switch flips while the run is in
    // flight: the short-word filter follows the live value.
    const auto plan = std::get<SearchPlan>(planSearch({"report", "ab"}, false, false));
    EXPECT_TRUE(namePasses(plan, "report_AB", false));
    EXPECT_FALSE(namePasses(plan, "report_AB", true));
}

}  // namespace
}  // namespace qf
