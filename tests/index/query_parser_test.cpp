#include <gtest/gtest.h>

#include <ctime>

#include "common/test_support.h"
#include "query_parser.h"

namespace qf::index {
namespace {

using Op = Request::Op;
constexpr FoldMode kBoth{true, true}, kNone{false, false};
constexpr int64_t kMin = std::numeric_limits<int64_t>::min(), kMax = std::numeric_limits<int64_t>::max();

std::time_t localMidnight(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}
// A fixed moment: 2024-03-15 12:34:56 local time.
std::time_t fixedNow() { return localMidnight(2024, 3, 15) + 12 * 3600 + 34 * 60 + 56; }

struct QueryCase {
    const char* query;
    Op op;
    std::string value;  // name queries: the term or the glob's textual form
    FoldMode mode;
    int64_t notBefore = kMin, before = kMax;
};
void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.query; }

class QueryTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(QueryTest, Parses) {
    const QueryCase& c = GetParam();
    auto parsed = parseQueryExpression(c.query, fixedNow());
    ASSERT_TRUE(std::holds_alternative<Request>(parsed)) << std::get<ParseError>(parsed).message;
    const Request& r = std::get<Request>(parsed);
    EXPECT_EQ(r.op, c.op);
    EXPECT_EQ(r.value, c.value);
    if (c.op != Op::changedBetween) {
        EXPECT_EQ(r.mode, c.mode);
    }
    EXPECT_EQ(r.notBefore, c.notBefore);
    EXPECT_EQ(r.before, c.before);
}

QueryCase date(const char* q, int64_t notBefore, int64_t before = kMax) {
    return {q, Op::changedBetween, "", {}, notBefore, before};
}

INSTANTIATE_TEST_SUITE_P(Table, QueryTest,
                         ::testing::Values(
                             // The forms the program sends, with its escaping of i'm: '*i'\''m*'cd.
                             QueryCase{"kMDItemFSName == '*report*'cd", Op::nameGlob, "*report*", kBoth},
                             QueryCase{"kMDItemFSName == 'report?.txt'cd", Op::nameGlob, "report?.txt", kBoth},
                             QueryCase{"kMDItemFSName == '*i'\\''m*'cd", Op::nameGlob, "*i'm*", kBoth},
                             // Modifiers.
                             QueryCase{"kMDItemFSName == 'A'", Op::nameGlob, "A", kNone},
                             QueryCase{"kMDItemFSName == 'A'c", Op::nameGlob, "A", {true, false}},
                             QueryCase{"kMDItemFSName == 'A'd", Op::nameGlob, "A", {false, true}},
                             QueryCase{"kMDItemFSName == 'A'dc", Op::nameGlob, "A", kBoth},
                             // Spacing, double quotes and escapes.
                             QueryCase{"  kMDItemFSName=='x y'cd  ", Op::nameGlob, "x y", kBoth},
                             QueryCase{"kMDItemFSName == \"*a\\\"b*\"cd", Op::nameGlob, "*a\"b*", kBoth},
                             QueryCase{"kMDItemFSName == \"a\\*b\\?\"", Op::nameGlob, "a\\*b\\?",
                                       kNone},  // escaped wildcards
                             QueryCase{"kMDItemFSName == 'a'\\*'b'", Op::nameGlob, "a\\*b", kNone},
                             QueryCase{"kMDItemFSName == 'a\\b'", Op::nameGlob, "a\\\\b", kNone},  // no escapes in '…'
                             QueryCase{"kMDItemFSName == ''", Op::nameGlob, "", kNone},
                             QueryCase{"kMDItemDisplayName == 'a'", Op::nameGlob, "a", kNone},
                             // Plain text asks for names containing it.
                             QueryCase{"  annual report ", Op::nameContains, "annual report", kBoth},
                             // Dates: operators, functions and offsets in local days.
                             date("kMDItemFSContentChangeDate >= $time.today", localMidnight(2024, 3, 15)),
                             date("kMDItemFSContentChangeDate >= $time.today(-1d)", localMidnight(2024, 3, 14)),
                             date("kMDItemFSContentChangeDate >= $time.today(-15d)", localMidnight(2024, 2, 29)),
                             date("kMDItemFSContentChangeDate >= $time.yesterday", localMidnight(2024, 3, 14)),
                             date("kMDItemContentModificationDate>=$time.today( -3 )", localMidnight(2024, 3, 12)),
                             date("kMDItemFSContentChangeDate > $time.today", localMidnight(2024, 3, 15) + 1),
                             date("kMDItemFSContentChangeDate < $time.today", kMin, localMidnight(2024, 3, 15)),
                             date("kMDItemFSContentChangeDate <= $time.today", kMin, localMidnight(2024, 3, 15) + 1),
                             date("kMDItemFSContentChangeDate >= $time.now(-60)", fixedNow() - 60)));

struct ErrorCase {
    const char* query;
    const char* fragment;  // expected in the message
};
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.query; }

class QueryErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(QueryErrorTest, RejectsWithMessage) {
    auto parsed = parseQueryExpression(GetParam().query, fixedNow());
    ASSERT_TRUE(std::holds_alternative<ParseError>(parsed));
    EXPECT_NE(std::get<ParseError>(parsed).message.find(GetParam().fragment), std::string::npos)
        << std::get<ParseError>(parsed).message;
}

INSTANTIATE_TEST_SUITE_P(Table, QueryErrorTest,
                         ::testing::Values(ErrorCase{"kMDItemFSName == 'abc", "unterminated single quote"},
                                           ErrorCase{"kMDItemFSName == \"abc", "unterminated double quote"},
                                           ErrorCase{"kMDItemFSName == 'a'cw", "unknown modifier 'w'"},
                                           ErrorCase{"kMDItemFSName == abc", "must be quoted"},
                                           ErrorCase{"kMDItemFSName == 'a'b'c'", "unknown modifier"},
                                           ErrorCase{"kMDItemFSName == 'a'\\", "backslash"},
                                           ErrorCase{"kMDItemFSName >= 'a'", "only be compared with =="},
                                           ErrorCase{"kMDItemFSName != 'a'", "unsupported operator"},
                                           ErrorCase{"kMDItemFSName == 'a' && kMDItemFSName == 'b'", "unexpected text"},
                                           ErrorCase{"kMDItemFSSize > 10", "unsupported attribute kMDItemFSSize"},
                                           ErrorCase{"kMDItemFSContentChangeDate >= yesterday", "$time.today"},
                                           ErrorCase{"kMDItemFSContentChangeDate >= $time.today(x)", "whole number"},
                                           ErrorCase{"kMDItemFSContentChangeDate >= $time.today(-1", "missing )"},
                                           ErrorCase{"kMDItemFSContentChangeDate >= $time.today(99999999999)",
                                                     "out of range"},
                                           ErrorCase{"kMDItemFSContentChangeDate >= $time.week", "unknown date"},
                                           ErrorCase{"   ", "empty query"}));

TEST(DateQueryTest, StartOfDayAcrossDaylightSavingChange) {
    // In Europe/Berlin 2024-03-31 has 23 hours; the day before April 1st
    // still starts at local midnight.
    std::time_t start, april;
    {
        qf::test::ScopedEnv tz("TZ", "Europe/Berlin");
        ::tzset();
        april = localMidnight(2024, 4, 1);
        start = startOfLocalDay(april + 12 * 3600, -1);
    }
    ::tzset();
    EXPECT_EQ(april - start, 23 * 3600);
}

}  // namespace
}  // namespace qf::index
