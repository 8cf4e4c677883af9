#include <gtest/gtest.h>

#include "model/expression_literals.h"

namespace qf {
namespace {

struct LiteralCase {
    const char* expression;
    std::vector<std::string> literals;
    friend void PrintTo(const LiteralCase& c, std::ostream* os) { *os << "'" << c.expression << "'"; }
};

class RequiredLiterals : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(RequiredLiterals, AreTheRunsEveryMatchingNameContains) {
    EXPECT_EQ(requiredLiterals(GetParam().expression), GetParam().literals) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, RequiredLiterals,
    ::testing::Values(
        // Plain runs and alternatives stay as they are.
        LiteralCase{"report", {"report"}}, LiteralCase{"foo|bar", {"foo", "bar"}},
        LiteralCase{"docs/report", {"docs", "report"}}, LiteralCase{"Report.*2024", {"Report", "2024"}},
        LiteralCase{"报告\\d+", {"报告"}}, LiteralCase{".*", {}}, LiteralCase{"^$", {}},
        // Escapes are syntax, not name text.
        LiteralCase{"^report_\\w+\\.txt$", {"report", "txt"}}, LiteralCase{"^report_(\\d+)\\.pdf$", {"report", "pdf"}},
        LiteralCase{"\\bfoo\\b", {"foo"}}, LiteralCase{"report\\d2024", {"report", "2024"}},
        LiteralCase{"\\p{Lu}\\w+", {}}, LiteralCase{"\\x41BC", {"BC"}}, LiteralCase{"\\x{1F600}smile", {"smile"}},
        LiteralCase{"\\tab", {"ab"}}, LiteralCase{"a\\\\b", {"a", "b"}}, LiteralCase{"\\Qa.b\\E", {"a", "b"}},
        LiteralCase{"(a)\\1x", {"a", "x"}},
        // A class matches one of its members.
        LiteralCase{"[abc]x", {"x"}}, LiteralCase{"[0-9]{4}", {}}, LiteralCase{"[]a]b", {"b"}},
        LiteralCase{"[^\\]x]yz", {"yz"}}, LiteralCase{"[[:alpha:]]+end", {"end"}},
        // Optional atoms and counts.
        LiteralCase{"colou?r", {"colo", "r"}}, LiteralCase{"files*", {"file"}}, LiteralCase{"a{0,3}bc", {"bc"}},
        LiteralCase{"a{2}bc", {"a", "bc"}}, LiteralCase{"(draft)?report", {"report"}},
        LiteralCase{"(draft)*report", {"report"}}, LiteralCase{"ab+?c", {"ab", "c"}},
        // Group syntax.
        LiteralCase{"(?i)report", {"report"}}, LiteralCase{"(?<year>\\d{4})-report", {"report"}},
        LiteralCase{"(?:ab)cd", {"ab", "cd"}}, LiteralCase{"(?#note)report", {"report"}},
        LiteralCase{"^(?!draft).*report", {"report"}}, LiteralCase{"(?<!old)report", {"report"}},
        LiteralCase{"report(?=2024)", {"report", "2024"}}));

TEST(BlankNonLiterals, KeepsTheLengthSoRunsStaySeparate) {
    const std::string expression = "ab\\dcd[xy]ef";
    const std::string blanked = blankNonLiterals(expression);
    EXPECT_EQ(blanked.size(), expression.size());
    EXPECT_EQ(blanked, "ab  cd    ef");
}

}  // namespace
}  // namespace qf
