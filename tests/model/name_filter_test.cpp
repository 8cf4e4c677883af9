#include <gtest/gtest.h>

#include "core/text.h"
#include "core/tokenizer.h"
#include "model/name_query.h"

namespace qf {
namespace {

SearchPlan planFor(const std::string& query, bool regexMode, bool caseSensitive) {
    auto outcome = planSearch(strTokenize(trimSpaces(query)), regexMode, caseSensitive);
    EXPECT_TRUE(std::holds_alternative<SearchPlan>(outcome)) << query;
    return std::get<SearchPlan>(std::move(outcome));
}

struct FilterCase {
    const char* query;
    bool regexMode;
    bool caseSensitive;  // at planning time and at filtering time
    const char* name;
    bool passes;
    friend void PrintTo(const FilterCase& c, std::ostream* os) { *os << "'" << c.query << "' on '" << c.name << "'"; }
};

class NameFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NameFilter, AppliesTheLocalTestsOfThePlan) {
    const FilterCase& c = GetParam();
    const SearchPlan plan = planFor(c.query, c.regexMode, c.caseSensitive);
    EXPECT_EQ(namePasses(plan, c.name, c.caseSensitive), c.passes)
        << "query '" << c.query << "' name '" << c.name << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameFilter,
    ::testing::Values(
        // Index terms are trusted to the index unless case matters.
        FilterCase{"report", false, false, "unrelated.txt", true},
        FilterCase{"report", false, true, "Report.txt", false},
        FilterCase{"Report", false, true, "Report.txt", true},
        FilterCase{"Report", false, true, "my Report", true},
        FilterCase{"café", false, true, "cafe\xcc\x81 menu", true},  // decomposed é in the name
        // Short words filter locally, case as the switch says.
        FilterCase{"report ab", false, false, "REPORT_AB.txt", true},
        FilterCase{"report ab", false, false, "report_aB.txt", true},
        FilterCase{"report ab", false, false, "report.txt", false},
        FilterCase{"report ab", false, true, "report_ab.txt", true},
        FilterCase{"report ab", false, true, "report_AB.txt", false},
        FilterCase{"report ab", false, true, "Report_ab.txt", false},
        // The chosen literal is the index's business, not tested here.
        FilterCase{"ab", false, false, "zzz", true},
        FilterCase{"ab", false, true, "zzz", true},
        FilterCase{"ab AB", false, false, "xAbx", true},
        FilterCase{"ab AB", false, false, "none", false},
        FilterCase{"ab AB", false, true, "xABx", true},
        FilterCase{"ab AB", false, true, "xabx", false},
        // Pattern tokens always match without regard to case.
        FilterCase{".pdf", false, false, "Report.PDF", true},
        FilterCase{".pdf", false, true, "Report.PDF", true},
        FilterCase{".pdf", false, false, "Report.pdfx", false},
        FilterCase{"ab .pdf", false, false, "xAB.pdf", true},
        FilterCase{"ab .pdf", false, false, "x.pdf", false},
        FilterCase{"ab .pdf", false, false, "ab.txt", false},
        FilterCase{"*.pdf .txt", false, false, "a.pdf", false},
        FilterCase{"report*.pdf", false, false, "Report-2024.PDF", true},
        FilterCase{"a?c", false, false, "a报c", true},
        // Expressions: a match anywhere, case per switch, nothing else.
        FilterCase{"foo|bar", true, false, "xBARx", true},
        FilterCase{"foo|bar", true, true, "xBARx", false},
        FilterCase{"^report\\d+$", true, false, "Report12", true},
        FilterCase{"^report\\d+$", true, false, "report12.txt", false},
        FilterCase{"docs/report", true, false, "docsreport", false}));

TEST(NameFilter, ReadsTheCaseSwitchAtTestTime) {
    // Planned case-insensitive, then the switch flips while the run is in
    // flight: the short-word filter follows the live value.
    const SearchPlan plan = planFor("report ab", false, false);
    EXPECT_TRUE(namePasses(plan, "report_AB", false));
    EXPECT_FALSE(namePasses(plan, "report_AB", true));
}

TEST(PlainOrder, ComposesBeforeComparingCodePoints) {
    const std::string decomposedE = "/t/e\xcc\x81t\xc3\xa9";  // e + combining acute
    const PathSet candidates{"/t/b", "/t/a", "/t/Z", "/t/z", decomposedE, "/t/f", "/t/\xc3\xa9"};
    std::vector<std::string> order;
    for (const auto* path : firstInPlainOrder(candidates, 100)) order.push_back(*path);
    // Upper case before lower case; the decomposed é composes to U+00E9 and
    // so sorts after z, not between e and f.
    const std::vector<std::string> expected{"/t/Z", "/t/a", "/t/b", "/t/f", "/t/z", "/t/\xc3\xa9", decomposedE};
    EXPECT_EQ(order, expected);
}

TEST(PlainOrder, ComposedPathsKeepCodePointOrder) {
    const PathSet candidates{"/t/\xe6\x8a\xa5\xe5\x91\x8a", "/t/z", "/t/\xc3\xa9", "/t/A"};  // 报告, z, é, A
    std::vector<std::string> order;
    for (const auto* path : firstInPlainOrder(candidates, 3)) order.push_back(*path);
    EXPECT_EQ(order, (std::vector<std::string>{"/t/A", "/t/z", "/t/\xc3\xa9"}));
}

TEST(PlainOrder, KeepsOnlyTheFirstOnes) {
    PathSet candidates;
    for (int i = 0; i < 50; ++i) candidates.insert("/p/" + std::to_string(1000 + (i * 37) % 50));
    const auto first = firstInPlainOrder(candidates, 3);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(*first[0], "/p/1000");
    EXPECT_EQ(*first[1], "/p/1001");
    EXPECT_EQ(*first[2], "/p/1002");
    EXPECT_TRUE(firstInPlainOrder({}, 3).empty());
}

struct LogCase {
    std::int64_t serial;
    std::int64_t candidates;
    std::size_t hits;
    std::vector<std::string> terms;
    const char* expected;
    friend void PrintTo(const LogCase& c, std::ostream* os) { *os << c.expected; }
};

class QueryLog : public ::testing::TestWithParam<LogCase> {};

TEST_P(QueryLog, WritesTheTermsAsAList) {
    const LogCase& c = GetParam();
    EXPECT_EQ(queryLogLine(c.serial, c.candidates, c.hits, c.terms), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, QueryLog,
    ::testing::Values(LogCase{1, 0, 0, {}, "query#1 inter=0 arr=0 lits=[]"},
                      LogCase{7, 3000, 1000, {"report"}, "query#7 inter=3000 arr=1000 lits=[\"report\"]"},
                      LogCase{12, 5, 2, {"report", "2024"}, "query#12 inter=5 arr=2 lits=[\"report\", \"2024\"]"},
                      LogCase{2, 1, 1, {"say \"hi\"", "a\\b"}, "query#2 inter=1 arr=1 lits=[\"say \\\"hi\\\"\", \"a\\\\b\"]"}));

}  // namespace
}  // namespace qf
