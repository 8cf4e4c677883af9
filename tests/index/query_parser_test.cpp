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
QueryCase date(const char* q, int64_t notBefore, int64_t before = kMax) {
    return {q, Op::changedBetween, "", {}, notBefore, before};
}

TEST(QueryTest, Parses) {
    const QueryCase cases[] = {
        // The forms the program sends, with its escaping of i'm: '*i'\''m*'cd.
        {"kMDItemFSName == '*report*'cd", Op::nameGlob, "*report*", kBoth},
        {"kMDItemFSName == 'report?.txt'cd", Op::nameGlob, "report?.txt", kBoth},
        {"kMDItemFSName == '*i'\\''m*'cd", Op::nameGlob, "*i'm*", kBoth},
        {"kMDItemFSName == 'A'", Op::nameGlob, "A", kNone},
        {"kMDItemFSName == 'A'c", Op::nameGlob, "A", {true, false}},
        {"kMDItemFSName == 'A'd", Op::nameGlob, "A", {false, true}},
        {"kMDItemFSName == 'A'dc", Op::nameGlob, "A", kBoth},
        {"  kMDItemFSName=='x y'cd  ", Op::nameGlob, "x y", kBoth},
        {"kMDItemFSName == \"*a\\\"b*\"cd", Op::nameGlob, "*a\"b*", kBoth},
        {"kMDItemFSName == \"a\\*b\\?\"", Op::nameGlob, "a\\*b\\?", kNone},  // escaped wildcards
        {"kMDItemFSName == 'a'\\*'b'", Op::nameGlob, "a\\*b", kNone},
        {"kMDItemFSName == 'a\\b'", Op::nameGlob, "a\\\\b", kNone},  // no escapes in '…'
        {"kMDItemFSName == ''", Op::nameGlob, "", kNone},
        {"kMDItemDisplayName == 'a'", Op::nameGlob, "a", kNone},
        // Plain text asks for names containing it.
        {"  annual report ", Op::nameContains, "annual report", kBoth},
        // Dates: operators, functions and offsets in local days.
        date("kMDItemFSContentChangeDate >= $time.today", localMidnight(2024, 3, 15)),
        date("kMDItemFSContentChangeDate >= $time.today(-1d)", localMidnight(2024, 3, 14)),
        date("kMDItemFSContentChangeDate >= $time.today(-15d)", localMidnight(2024, 2, 29)),
        date("kMDItemFSContentChangeDate >= $time.yesterday", localMidnight(2024, 3, 14)),
        date("kMDItemContentModificationDate>=$time.today( -3 )", localMidnight(2024, 3, 12)),
        date("kMDItemFSContentChangeDate > $time.today", localMidnight(2024, 3, 15) + 1),
        date("kMDItemFSContentChangeDate < $time.today", kMin, localMidnight(2024, 3, 15)),
        date("kMDItemFSContentChangeDate <= $time.today", kMin, localMidnight(2024, 3, 15) + 1),
        date("kMDItemFSContentChangeDate >= $time.now(-60)", fixedNow() - 60),
    };
    for (const QueryCase& c : cases) {
        auto parsed = parseQueryExpression(c.query, fixedNow());
        ASSERT_TRUE(std::holds_alternative<Request>(parsed)) << c.query << ": " << std::get<ParseError>(parsed).message;
        const Request& r = std::get<Request>(parsed);
        EXPECT_EQ(r.op, c.op) << c.query;
        EXPECT_EQ(r.value, c.value) << c.query;
        if (c.op != Op::changedBetween) {
            EXPECT_EQ(r.mode, c.mode) << c.query;
        }
        EXPECT_EQ(r.notBefore, c.notBefore) << c.query;
        EXPECT_EQ(r.before, c.before) << c.query;
    }
}

TEST(QueryTest, RejectsWithMessage) {
    const std::pair<const char*, const char*> cases[] = {
        {"kMDItemFSName == 'abc", "unterminated single quote"},
        {"kMDItemFSName == \"abc", "unterminated double quote"},
        {"kMDItemFSName == 'a'cw", "unknown modifier 'w'"},
        {"kMDItemFSName == abc", "must be quoted"},
        {"kMDItemFSName == 'a'b'c'", "unknown modifier"},
        {"kMDItemFSName == 'a'\\", "backslash"},
        {"kMDItemFSName >= 'a'", "only be compared with =="},
        {"kMDItemFSName != 'a'", "unsupported operator"},
        {"kMDItemFSName == 'a' && kMDItemFSName == 'b'", "unexpected text"},
        {"kMDItemFSSize > 10", "unsupported attribute kMDItemFSSize"},
        {"kMDItemFSContentChangeDate >= yesterday", "$time.today"},
        {"kMDItemFSContentChangeDate >= $time.today(x)", "whole number"},
        {"kMDItemFSContentChangeDate >= $time.today(-1", "missing )"},
        {"kMDItemFSContentChangeDate >= $time.today(99999999999)", "out of range"},
        {"kMDItemFSContentChangeDate >= $time.week", "unknown date"},
        {"   ", "empty query"},
    };
    for (const auto& [query, fragment] : cases) {
        auto parsed = parseQueryExpression(query, fixedNow());
        ASSERT_TRUE(std::holds_alternative<ParseError>(parsed)) << query;
        EXPECT_NE(std::get<ParseError>(parsed).message.find(fragment), std::string::npos)
            << std::get<ParseError>(parsed).message;
    }
}

TEST(QueryTest, StartOfDayAcrossDaylightSavingChange) {
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
