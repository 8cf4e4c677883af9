#include <gtest/gtest.h>

#include "fold.h"

namespace qf::index {
namespace {

constexpr FoldMode kBoth{true, true}, kCase{true, false}, kDia{false, true}, kExact{false, false};

struct FoldCase {
    const char* input;
    FoldMode mode;
    const char* expected;
};
void PrintTo(const FoldCase& c, std::ostream* os) { *os << c.input; }

class FoldTest : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldTest, FoldsAsExpected) { EXPECT_EQ(foldName(GetParam().input, GetParam().mode), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, FoldTest,
    ::testing::Values(FoldCase{"RÉPORT", kBoth, "report"}, FoldCase{"Re\xCC\x81port", kBoth, "report"},  // decomposed é
                      FoldCase{"RÉPORT", kCase, "réport"},
                      FoldCase{"Re\xCC\x81port", kCase, "réport"},  // composed after folding
                      FoldCase{"RÉPORT", kDia, "REPORT"},
                      FoldCase{"Re\xCC\x81port", kExact, "Réport"},                            // canonical equivalence
                      FoldCase{"Straße", kBoth, "strasse"}, FoldCase{"Ａｂｃ", kBoth, "abc"},  // full-width letters
                      FoldCase{"ﬁle", kBoth, "file"},                                          // ligature
                      FoldCase{"报告.doc", kBoth, "报告.doc"}, FoldCase{"ΣΊΣΥΦΟΣ", kBoth, "σισυφοσ"},
                      FoldCase{"İstanbul", kBoth, "istanbul"},
                      FoldCase{"ｶﾞｲﾄﾞ", kBoth, "カイト"},  // half-width kana, voicing dropped
                      FoldCase{"a\xFF"
                               "É",
                               kBoth,
                               "a\xEF\xBF\xBD"
                               "e"},  // invalid UTF-8 becomes U+FFFD
                      FoldCase{"i'm -x", kBoth, "i'm -x"}));

TEST(Utf8Test, ValidatesSequences) {
    const std::pair<std::string, bool> cases[] = {{"Réport 报告 😀", true},
                                                  {"", true},
                                                  {"\xC3", false},              // truncated
                                                  {"\xC0\xAF", false},          // overlong
                                                  {"\xED\xA0\x80", false},      // surrogate
                                                  {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
                                                  {"ok\x80", false}};
    for (const auto& [bytes, valid] : cases) EXPECT_EQ(isValidUtf8(bytes), valid) << bytes;
}

}  // namespace
}  // namespace qf::index
