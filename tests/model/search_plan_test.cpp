// Pieces of a name run apart from the Model (the local name tests of a plan
// show in the Model's runs).
#include <gtest/gtest.h>

#include "model/name_query.h"

namespace qf {
namespace {

using Strings = std::vector<std::string>;

TEST(NameFilter, ReadsTheCaseSwitchAtTestTime) {
    // Planned case-insensitive, then the switch flips while the run is in
    // flight: the short-word filter follows the live value.
    const auto plan = std::get<SearchPlan>(planSearch({"report", "ab"}, false, false));
    EXPECT_TRUE(namePasses(plan, "report_AB", false));
    EXPECT_FALSE(namePasses(plan, "report_AB", true));
}

Strings plainOrder(const PathSet& candidates, std::size_t limit) {
    Strings order;
    for (const auto* path : firstInPlainOrder(candidates, limit)) order.push_back(*path);
    return order;
}

TEST(PlainOrder, ComparesComposedCodePointsAndKeepsOnlyTheFirstOnes) {
    // Upper case before lower case; the decomposed é composes to U+00E9 and
    // so sorts after z, not between e and f.
    const std::string decomposedE = "/t/e\xcc\x81t\xc3\xa9";
    EXPECT_EQ(plainOrder({"/t/b", "/t/a", "/t/Z", "/t/z", decomposedE, "/t/f", "/t/\xc3\xa9"}, 100),
              (Strings{"/t/Z", "/t/a", "/t/b", "/t/f", "/t/z", "/t/\xc3\xa9", decomposedE}));
    EXPECT_EQ(plainOrder({"/t/\xe6\x8a\xa5\xe5\x91\x8a", "/t/z", "/t/\xc3\xa9", "/t/A"}, 3),  // 报告, z, é, A
              (Strings{"/t/A", "/t/z", "/t/\xc3\xa9"}));
    EXPECT_EQ(plainOrder({"/t/b", decomposedE, "/t/a"}, 2), (Strings{"/t/a", "/t/b"}));
    EXPECT_TRUE(plainOrder({}, 3).empty());
}

TEST(QueryLog, WritesTheTermsAsAQuotedList) {
    EXPECT_EQ(queryLogLine(2, 1, 1, {"say \"hi\"", "a\\b"}),
              "query#2 inter=1 arr=1 lits=[\"say \\\"hi\\\"\", \"a\\\\b\"]");
}

}  // namespace
}  // namespace qf
