#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "glob.h"
#include "query_parser.h"
#include "wire.h"

namespace qf::index {
namespace {

// A fixed moment: 2024-03-15 12:34:56 in the test's local time zone.
std::time_t fixedNow() {
  std::tm tm{};
  tm.tm_year = 124;
  tm.tm_mon = 2;
  tm.tm_mday = 15;
  tm.tm_hour = 12;
  tm.tm_min = 34;
  tm.tm_sec = 56;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::time_t localMidnight(int year, int month, int day) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

struct GlobQueryCase {
  const char* query;
  const char* globText;  // expected pattern in textual form
  FoldMode mode;
};

class NameQueryTest : public ::testing::TestWithParam<GlobQueryCase> {};

TEST_P(NameQueryTest, ParsesValueAndModifiers) {
  const GlobQueryCase& c = GetParam();
  auto parsed = parseQueryExpression(c.query, fixedNow());
  ASSERT_TRUE(std::holds_alternative<Request>(parsed))
      << c.query << ": " << std::get<ParseError>(parsed).message;
  const Request& r = std::get<Request>(parsed);
  EXPECT_EQ(r.op, Request::Op::NameGlob);
  EXPECT_EQ(r.value, c.globText) << c.query;
  EXPECT_EQ(r.mode, c.mode) << c.query;
}

constexpr FoldMode kBoth{true, true};
constexpr FoldMode kNone{false, false};

INSTANTIATE_TEST_SUITE_P(
    Table, NameQueryTest,
    ::testing::Values(
        // The forms the program sends.
        GlobQueryCase{"kMDItemFSName == '*report*'cd", "*report*", kBoth},
        GlobQueryCase{"kMDItemFSName == '*.pdf'cd", "*.pdf", kBoth},
        GlobQueryCase{"kMDItemFSName == 'report?.txt'cd", "report?.txt", kBoth},
        // The program's escaping of i'm: '*i'\''m*'cd.
        GlobQueryCase{"kMDItemFSName == '*i'\\''m*'cd", "*i'm*", kBoth},
        // Modifiers.
        GlobQueryCase{"kMDItemFSName == 'A'", "A", kNone},
        GlobQueryCase{"kMDItemFSName == 'A'c", "A", {true, false}},
        GlobQueryCase{"kMDItemFSName == 'A'd", "A", {false, true}},
        GlobQueryCase{"kMDItemFSName == 'A'dc", "A", kBoth},
        // Spacing, double quotes and escapes.
        GlobQueryCase{"  kMDItemFSName=='x y'cd  ", "x y", kBoth},
        GlobQueryCase{"kMDItemFSName == \"*a\\\"b*\"cd", "*a\"b*", kBoth},
        GlobQueryCase{"kMDItemFSName == \"a\\*b\"", "a\\*b", kNone},   // escaped star literal
        GlobQueryCase{"kMDItemFSName == 'a'\\*'b'", "a\\*b", kNone},
        GlobQueryCase{"kMDItemFSName == 'a\\b'", "a\\\\b", kNone},      // no escapes inside '…'
        GlobQueryCase{"kMDItemFSName == '-x'", "-x", kNone},
        GlobQueryCase{"kMDItemFSName == '报告*'cd", "报告*", kBoth},
        GlobQueryCase{"kMDItemFSName == ''", "", kNone},
        GlobQueryCase{"kMDItemDisplayName == 'a'", "a", kNone}));

struct ErrorCase {
  const char* query;
  const char* fragment;  // expected in the message
};

class QueryErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(QueryErrorTest, RejectsWithMessage) {
  const ErrorCase& c = GetParam();
  auto parsed = parseQueryExpression(c.query, fixedNow());
  ASSERT_TRUE(std::holds_alternative<ParseError>(parsed)) << c.query;
  EXPECT_NE(std::get<ParseError>(parsed).message.find(c.fragment), std::string::npos)
      << c.query << " -> " << std::get<ParseError>(parsed).message;
}

INSTANTIATE_TEST_SUITE_P(
    Table, QueryErrorTest,
    ::testing::Values(
        ErrorCase{"kMDItemFSName == 'abc", "unterminated single quote"},
        ErrorCase{"kMDItemFSName == \"abc", "unterminated double quote"},
        ErrorCase{"kMDItemFSName == 'a'x", "unknown modifier 'x'"},
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
        ErrorCase{"kMDItemFSContentChangeDate >= $time.today(99999999999)", "out of range"},
        ErrorCase{"kMDItemFSContentChangeDate >= $time.week", "unknown date"},
        ErrorCase{"   ", "empty query"}));

TEST(DateQueryTest, TodayMinusOneIsStartOfPreviousLocalDay) {
  auto parsed = parseQueryExpression("kMDItemFSContentChangeDate >= $time.today(-1d)", fixedNow());
  ASSERT_TRUE(std::holds_alternative<Request>(parsed));
  const Request& r = std::get<Request>(parsed);
  EXPECT_EQ(r.op, Request::Op::ChangedBetween);
  EXPECT_EQ(r.notBefore, localMidnight(2024, 3, 14));
  EXPECT_EQ(r.before, std::numeric_limits<int64_t>::max());
}

TEST(DateQueryTest, OperatorsAndFunctions) {
  struct Case {
    const char* query;
    int64_t notBefore;
    int64_t before;
  };
  const int64_t today = localMidnight(2024, 3, 15);
  const int64_t kMin = std::numeric_limits<int64_t>::min(), kMax = std::numeric_limits<int64_t>::max();
  const Case cases[] = {
      {"kMDItemFSContentChangeDate >= $time.today", today, kMax},
      {"kMDItemFSContentChangeDate >= $time.today(0)", today, kMax},
      {"kMDItemFSContentChangeDate >= $time.today(-3)", localMidnight(2024, 3, 12), kMax},
      {"kMDItemFSContentChangeDate >= $time.today(-15d)", localMidnight(2024, 2, 29), kMax},
      {"kMDItemFSContentChangeDate >= $time.yesterday", localMidnight(2024, 3, 14), kMax},
      {"kMDItemFSContentChangeDate > $time.today", today + 1, kMax},
      {"kMDItemFSContentChangeDate < $time.today", kMin, today},
      {"kMDItemFSContentChangeDate <= $time.today", kMin, today + 1},
      {"kMDItemFSContentChangeDate >= $time.now(-60)", fixedNow() - 60, kMax},
      {"kMDItemContentModificationDate>=$time.today( -1 )", localMidnight(2024, 3, 14), kMax},
  };
  for (const Case& c : cases) {
    auto parsed = parseQueryExpression(c.query, fixedNow());
    ASSERT_TRUE(std::holds_alternative<Request>(parsed)) << c.query;
    EXPECT_EQ(std::get<Request>(parsed).notBefore, c.notBefore) << c.query;
    EXPECT_EQ(std::get<Request>(parsed).before, c.before) << c.query;
  }
}

TEST(DateQueryTest, StartOfDayAcrossDaylightSavingChange) {
  // In Europe/Berlin 2024-03-31 has 23 hours; the previous day's start must
  // still be a local midnight.
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  std::time_t noonAfterChange = localMidnight(2024, 4, 1) + 12 * 3600;
  std::time_t start = startOfLocalDay(noonAfterChange, -1);
  std::tm tm{};
  localtime_r(&start, &tm);
  EXPECT_EQ(tm.tm_mday, 31);
  EXPECT_EQ(tm.tm_hour, 0);
  EXPECT_EQ(localMidnight(2024, 4, 1) - start, 23 * 3600);
  if (old) ::setenv("TZ", saved.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
}

TEST(BareQueryTest, PlainTextAsksForNamesContainingIt) {
  auto parsed = parseQueryExpression("  annual report ", fixedNow());
  ASSERT_TRUE(std::holds_alternative<Request>(parsed));
  EXPECT_EQ(std::get<Request>(parsed).op, Request::Op::NameContains);
  EXPECT_EQ(std::get<Request>(parsed).value, "annual report");
}

// ---- command line ----

std::variant<MdfindCommand, ParseError> parseArgs(std::vector<std::string> args) {
  return parseMdfindArguments(args, fixedNow(), "/home/u/work");
}

TEST(MdfindArgumentsTest, NameTermIsTakenWhole) {
  const char* terms[] = {"report", "big report", "it's", "-dash", "--status", "报告", "a\tb"};
  for (const char* t : terms) {
    auto parsed = parseArgs({"-name", t});
    ASSERT_TRUE(std::holds_alternative<MdfindCommand>(parsed)) << t;
    const Request& r = std::get<MdfindCommand>(parsed).request;
    EXPECT_EQ(r.op, Request::Op::NameContains);
    EXPECT_EQ(r.value, t);
  }
}

TEST(MdfindArgumentsTest, OptionsCombine) {
  auto parsed = parseArgs({"-onlyin", "docs/", "-0", "-count", "-onlyin", "/tmp/../srv//x",
                           "kMDItemFSName == '*.txt'cd"});
  ASSERT_TRUE(std::holds_alternative<MdfindCommand>(parsed));
  const MdfindCommand& cmd = std::get<MdfindCommand>(parsed);
  EXPECT_TRUE(cmd.nulSeparated);
  EXPECT_TRUE(cmd.request.countOnly);
  EXPECT_EQ(cmd.request.op, Request::Op::NameGlob);
  EXPECT_EQ(cmd.request.onlyIn, (std::vector<std::string>{"/home/u/work/docs", "/srv/x"}));
}

TEST(MdfindArgumentsTest, StatusAndServiceStart) {
  auto status = parseArgs({"--status"});
  ASSERT_TRUE(std::holds_alternative<MdfindCommand>(status));
  EXPECT_EQ(std::get<MdfindCommand>(status).request.op, Request::Op::Status);
  auto start = parseArgs({"--start-service"});
  ASSERT_TRUE(std::holds_alternative<MdfindCommand>(start));
  EXPECT_TRUE(std::get<MdfindCommand>(start).startServiceOnly);
}

TEST(MdfindArgumentsTest, DoubleDashEndsOptions) {
  auto parsed = parseArgs({"--", "-name"});
  ASSERT_TRUE(std::holds_alternative<MdfindCommand>(parsed));
  EXPECT_EQ(std::get<MdfindCommand>(parsed).request.op, Request::Op::NameContains);
  EXPECT_EQ(std::get<MdfindCommand>(parsed).request.value, "-name");
}

TEST(MdfindArgumentsTest, Errors) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"-name"},
      {"-name", ""},
      {"-name", "a", "-name", "b"},
      {"-name", "a", "query"},
      {"one", "two"},
      {"-onlyin"},
      {"-bogus"},
      {"--status", "-name", "a"},
      {"kMDItemFSName == 'a"},
  };
  for (const auto& args : bad) {
    auto parsed = parseArgs(args);
    ASSERT_TRUE(std::holds_alternative<ParseError>(parsed)) << ::testing::PrintToString(args);
    EXPECT_FALSE(std::get<ParseError>(parsed).message.empty());
  }
}

TEST(NormalizePathTest, Lexical) {
  EXPECT_EQ(normalizeAbsolutePath("a/./b/../c/", "/w"), "/w/a/c");
  EXPECT_EQ(normalizeAbsolutePath("/", "/w"), "/");
  EXPECT_EQ(normalizeAbsolutePath("/../..", "/w"), "/");
  EXPECT_EQ(normalizeAbsolutePath("//x//y", "/w"), "/x/y");
}

// ---- wire format ----

TEST(WireTest, RequestRoundTrip) {
  Request r;
  r.op = Request::Op::NameGlob;
  r.value = "*i'm\\*x?";
  r.mode = {false, true};
  r.notBefore = -5;
  r.before = 1234567890123;
  r.onlyIn = {"/a b", "/c=d"};
  r.countOnly = true;
  auto decoded = decodeRequest(encodeRequest(r));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, r);
}

TEST(WireTest, MalformedRequestsAreRejected) {
  using namespace std::string_literals;
  const std::string bad[] = {
      ""s,
      "op=name\0"s,                        // no terminator
      "op=bogus\0\0"s,
      "value=x\0\0"s,                      // no op
      "op=name\0icase=2\0\0"s,
      "op=name\0since=12x\0\0"s,
      "op=name\0novalue\0\0"s,
      "op=name\0color=red\0\0"s,
      "op=name\0\0trailing"s,
  };
  for (const std::string& b : bad) EXPECT_FALSE(decodeRequest(b).has_value()) << b;
}

}  // namespace
}  // namespace qf::index
