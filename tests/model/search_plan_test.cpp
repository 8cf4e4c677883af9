// The local name tests of a plan (word roles are the query plan's, tested
// with it; the index terms of a plan show in the Model's runs).
#include <gtest/gtest.h>

#include "core/text.h"
#include "core/tokenizer.h"
#include "model/name_query.h"

namespace qf {
namespace {

using Strings = std::vector<std::string>;

PlanOutcome planFor(const std::string& query, bool regexMode, bool caseSensitive) {
    return planSearch(strTokenize(trimSpaces(query)), regexMode, caseSensitive);
}

TEST(NameFilter, AppliesTheLocalTestsOfThePlan) {
    const struct {
        const char* query;
        bool regexMode;
        bool caseSensitive;  // at planning time and at filtering time
        const char* name;
        bool passes;
    } cases[] = {
        // Index terms are trusted to the index unless case matters.
        {"report", false, false, "unrelated.txt", true},
        {"report", false, true, "Report.txt", false},
        {"Report", false, true, "my Report", true},
        {"café", false, true, "cafe\xcc\x81 menu", true},  // decomposed é in the name
        // Short words filter locally, case as the switch says.
        {"report ab", false, false, "report_aB.txt", true},
        {"report ab", false, false, "report.txt", false},
        {"report ab", false, true, "report_AB.txt", false},
        {"report ab", false, true, "Report_ab.txt", false},
        // Pattern tokens always match without regard to case.
        {".pdf", false, true, "Report.PDF", true},
        {"ab .pdf", false, false, "ab.txt", false},
        {"*.pdf .txt", false, false, "a.pdf", false},
        {"report*.pdf", false, false, "Report-2024.PDF", true},
        // Expressions: a match anywhere, case per switch, nothing else.
        {"foo|bar", true, false, "xBARx", true},
        {"foo|bar", true, true, "xBARx", false},
        {"^report\\d+$", true, false, "Report12", true},
        {"^report\\d+$", true, false, "report12.txt", false},
        // The tokens are joined with single spaces.
        {"foo   bar", true, false, "x foo bar y", true},
        {"foo   bar", true, false, "foo  bar", false},
    };
    for (const auto& c : cases) {
        const auto plan = std::get<SearchPlan>(planFor(c.query, c.regexMode, c.caseSensitive));
        EXPECT_EQ(namePasses(plan, c.name, c.caseSensitive), c.passes)
            << "query '" << c.query << "' name '" << c.name << "'";
    }
}

TEST(NameFilter, ReadsTheCaseSwitchAtTestTime) {
    // Planned case-insensitive, then the switch flips while the run is in
    // flight: the short-word filter follows the live value.
    const auto plan = std::get<SearchPlan>(planFor("report ab", false, false));
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
