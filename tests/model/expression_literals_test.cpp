#include <gtest/gtest.h>

#include "model/expression_literals.h"

namespace qf {
namespace {

using Strings = std::vector<std::string>;

TEST(RequiredLiterals, AreTheRunsEveryMatchingNameContains) {
    const std::pair<const char*, Strings> cases[] = {// Plain runs and alternatives stay as they are.
                                                     {"report", {"report"}},
                                                     {"foo|bar", {"foo", "bar"}},
                                                     {"docs/report", {"docs", "report"}},
                                                     {"Report.*2024", {"Report", "2024"}},
                                                     {"报告\\d+", {"报告"}},
                                                     {".*", {}},
                                                     {"^$", {}},
                                                     // Escapes are syntax, not name text.
                                                     {"^report_\\w+\\.txt$", {"report", "txt"}},
                                                     {"\\bfoo\\b", {"foo"}},
                                                     {"\\p{Lu}\\w+", {}},
                                                     {"\\x41BC", {"BC"}},
                                                     {"\\x{1F600}smile", {"smile"}},
                                                     {"\\tab", {"ab"}},
                                                     {"a\\\\b", {"a", "b"}},
                                                     {"\\Qa.b\\E", {"a", "b"}},
                                                     {"(a)\\1x", {"a", "x"}},
                                                     // A class matches one of its members.
                                                     {"[abc]x", {"x"}},
                                                     {"[0-9]{4}", {}},
                                                     {"[]a]b", {"b"}},
                                                     {"[^\\]x]yz", {"yz"}},
                                                     {"[[:alpha:]]+end", {"end"}},
                                                     // Optional atoms and counts.
                                                     {"colou?r", {"colo", "r"}},
                                                     {"files*", {"file"}},
                                                     {"a{0,3}bc", {"bc"}},
                                                     {"a{2}bc", {"a", "bc"}},
                                                     {"(draft)?report", {"report"}},
                                                     {"(draft)*report", {"report"}},
                                                     {"ab+?c", {"ab", "c"}},
                                                     // Group syntax.
                                                     {"(?i)report", {"report"}},
                                                     {"(?<year>\\d{4})-report", {"report"}},
                                                     {"(?:ab)cd", {"ab", "cd"}},
                                                     {"(?#note)report", {"report"}},
                                                     {"^(?!draft).*report", {"report"}},
                                                     {"(?<!old)report", {"report"}},
                                                     {"report(?=2024)", {"report", "2024"}}};
    for (const auto& [expression, literals] : cases) EXPECT_EQ(requiredLiterals(expression), literals) << expression;
}

}  // namespace
}  // namespace qf
