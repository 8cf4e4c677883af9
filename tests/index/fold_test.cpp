#include <gtest/gtest.h>

#include "fold.h"

namespace qf::index {
namespace {

constexpr FoldMode kBoth{true, true}, kCase{true, false}, kDia{false, true}, kExact{false, false};

TEST(FoldTest, FoldsCaseDiacriticsAndWidth) {
    const std::tuple<const char*, FoldMode, const char*> cases[] = {
        {"RÉPORT", kBoth, "report"},
        {"Re\xCC\x81port", kBoth, "report"},  // decomposed é
        {"RÉPORT", kCase, "réport"},
        {"Re\xCC\x81port", kCase, "réport"},  // composed after folding
        {"RÉPORT", kDia, "REPORT"},
        {"Re\xCC\x81port", kExact, "Réport"},  // canonical equivalence
        {"Straße", kBoth, "strasse"},
        {"Ａｂｃ", kBoth, "abc"},  // full-width letters
        {"ﬁle", kBoth, "file"},    // ligature
        {"报告.doc", kBoth, "报告.doc"},
        {"ΣΊΣΥΦΟΣ", kBoth, "σισυφοσ"},
        {"İstanbul", kBoth, "istanbul"},
        {"ｶﾞｲﾄﾞ", kBoth, "カイト"},          // half-width kana, voicing dropped
        {"a\xFF\u00C9", kBoth, "a\uFFFDe"},  // invalid UTF-8 becomes U+FFFD
        {"i'm -x", kBoth, "i'm -x"},
    };
    for (const auto& [input, mode, expected] : cases) EXPECT_EQ(foldName(input, mode), expected) << input;
}

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
