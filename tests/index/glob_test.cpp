#include <gtest/gtest.h>

#include "glob.h"

namespace qf::index {
namespace {

struct GlobCase {
  const char* pattern;
  const char* name;
  FoldMode mode;
  bool matches;
};

constexpr FoldMode kBoth{true, true};
constexpr FoldMode kExact{false, false};
constexpr FoldMode kCase{true, false};

class GlobTest : public ::testing::TestWithParam<GlobCase> {};

TEST_P(GlobTest, Matches) {
  const GlobCase& c = GetParam();
  GlobPattern p(globTokensFromText(c.pattern), c.mode);
  EXPECT_EQ(p.matches(foldName(c.name, c.mode)), c.matches)
      << "pattern " << c.pattern << " name " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, GlobTest,
    ::testing::Values(
        GlobCase{"*.pdf", "Report.PDF", kBoth, true},
        GlobCase{"*.pdf", "Report.PDF", kExact, false},
        GlobCase{"*.pdf", "report.pdf.txt", kBoth, false},   // whole name
        GlobCase{"report", "my report", kBoth, false},       // no implicit *
        GlobCase{"*report*", "my Réport 1", kBoth, true},
        GlobCase{"*report*", "my Réport 1", kCase, false},   // diacritics count
        GlobCase{"report?.txt", "report1.txt", kBoth, true},
        GlobCase{"report?.txt", "report.txt", kBoth, false},
        GlobCase{"report?.txt", "report12.txt", kBoth, false},
        GlobCase{"?", "报", kBoth, true},                     // one character, three bytes
        GlobCase{"??", "报", kBoth, false},
        GlobCase{"a?c", "ae\xCC\x81" "c", kExact, true},      // é composed by NFC
        GlobCase{"?", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", kExact, true},  // emoji + skin tone
        GlobCase{"?", "\r\n", kExact, true},                  // CR LF is one character
        GlobCase{"*", "", kBoth, true},
        GlobCase{"", "", kBoth, true},
        GlobCase{"", "a", kBoth, false},
        GlobCase{"**a**", "banana", kBoth, true},
        GlobCase{"*a*b*c", "aXbXbXc", kBoth, true},
        GlobCase{"*a*b*c", "aXbXcX", kBoth, false},
        GlobCase{"*i'm*", "so I'M here", kBoth, true},
        GlobCase{"\\*x", "*x", kBoth, true},                  // escaped star is literal
        GlobCase{"\\*x", "ax", kBoth, false},
        GlobCase{"a\\?", "a?", kBoth, true},
        GlobCase{"a\\?", "ab", kBoth, false},
        GlobCase{"*报告*", "年度报告.doc", kBoth, true},
        GlobCase{"STRASSE*", "straße.txt", kBoth, true}));

TEST(GlobTokensTest, TextRoundTripKeepsLiteralWildcards) {
  std::vector<GlobToken> tokens = {
      {GlobToken::Kind::AnyRun, {}},
      {GlobToken::Kind::Literal, "a*b?c\\d"},
      {GlobToken::Kind::AnyChar, {}},
  };
  std::string text = globTokensToText(tokens);
  EXPECT_EQ(text, "*a\\*b\\?c\\\\d?");
  EXPECT_EQ(globTokensFromText(text), tokens);
}

TEST(GlobTokensTest, LongestLiteralIsFolded) {
  GlobPattern p(globTokensFromText("*ab*RÉPORT?x"), kBoth);
  EXPECT_EQ(p.longestLiteral(), "report");
}

TEST(CharacterBoundariesTest, SplitsByUserPerceivedCharacters) {
  EXPECT_EQ(characterBoundaries("ab"), (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(characterBoundaries("a\r\nb"), (std::vector<size_t>{0, 1, 3, 4}));
  EXPECT_EQ(characterBoundaries("e\xCC\x81x"), (std::vector<size_t>{0, 3, 4}));
  EXPECT_EQ(characterBoundaries(""), (std::vector<size_t>{0}));
}

}  // namespace
}  // namespace qf::index
