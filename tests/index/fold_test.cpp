#include <gtest/gtest.h>

#include "fold.h"

namespace qf::index {
namespace {

struct FoldCase {
  const char* input;
  FoldMode mode;
  const char* expected;
};

class FoldTest : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldTest, FoldsAsExpected) {
  const FoldCase& c = GetParam();
  EXPECT_EQ(foldName(c.input, c.mode), c.expected) << "input: " << c.input;
}

constexpr FoldMode kBoth{true, true};
constexpr FoldMode kCase{true, false};
constexpr FoldMode kDia{false, true};
constexpr FoldMode kExact{false, false};

INSTANTIATE_TEST_SUITE_P(
    Table, FoldTest,
    ::testing::Values(
        FoldCase{"Report.TXT", kBoth, "report.txt"},
        FoldCase{"Réport", kBoth, "report"},
        FoldCase{"RÉPORT", kBoth, "report"},
        FoldCase{"Re\xCC\x81port", kBoth, "report"},        // decomposed é
        FoldCase{"Réport", kCase, "réport"},
        FoldCase{"RÉPORT", kCase, "réport"},
        FoldCase{"Re\xCC\x81port", kCase, "réport"},        // composed after folding
        FoldCase{"RÉPORT", kDia, "REPORT"},
        FoldCase{"Re\xCC\x81port", kExact, "Réport"},       // canonical equivalence
        FoldCase{"Straße", kBoth, "strasse"},
        FoldCase{"ŒUVRE", kBoth, "œuvre"},
        FoldCase{"Ａｂｃ", kBoth, "abc"},                     // full-width letters
        FoldCase{"ﬁle", kBoth, "file"},                      // ligature
        FoldCase{"报告.doc", kBoth, "报告.doc"},
        FoldCase{"ΣΊΣΥΦΟΣ", kBoth, "σισυφοσ"},
        FoldCase{"Ångström", kBoth, "angstrom"},
        FoldCase{"İstanbul", kBoth, "istanbul"},
        FoldCase{"ｶﾞｲﾄﾞ", kBoth, "カイト"},                   // half-width kana, voicing dropped
        FoldCase{"", kBoth, ""},
        FoldCase{"i'm -x", kBoth, "i'm -x"}));

TEST(FoldTest, InvalidUtf8BecomesReplacementCharacter) {
  EXPECT_EQ(foldName(std::string("a\xFF") + "É", kBoth), "a\xEF\xBF\xBD" "e");
}

struct Utf8Case {
  std::string bytes;
  bool valid;
};

TEST(Utf8Test, ValidatesSequences) {
  const Utf8Case cases[] = {
      {"plain", true},
      {"Réport 报告 😀", true},
      {"\xC3", false},               // truncated
      {"\xC0\xAF", false},           // overlong
      {"\xED\xA0\x80", false},       // surrogate
      {"\xF4\x90\x80\x80", false},   // beyond U+10FFFF
      {"\xE2\x82", false},
      {"ok\x80", false},
      {"", true},
  };
  for (const Utf8Case& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.bytes;
}

}  // namespace
}  // namespace qf::index
