#include <gtest/gtest.h>

#include "core/text.h"

namespace qf {
namespace {

// Character counts and cuts are covered with the SPAWN_FAIL line; these are
// the cases that line does not reach.
TEST(Text, CountsUserPerceivedCharacters) {
    const struct {
        const char* text;
        std::size_t chars;
        bool ascii;
    } cases[] = {
        {"", 0, true},     {"abc", 3, true},        {"a\r\nb", 3, true},  // CR LF is one ASCII character
        {"a\rb", 3, true}, {"e\xCC\x81", 1, false}, {"报告", 2, false},  {"👍🏽", 1, false},  // emoji + skin tone
        {"🇨🇳x", 2, false},                                                                        // flag pair + x
    };
    for (const auto& c : cases) {
        EXPECT_EQ(charCount(c.text), c.chars) << ::testing::PrintToString(std::string(c.text));
        EXPECT_EQ(allAscii(c.text), c.ascii) << ::testing::PrintToString(std::string(c.text));
    }
    EXPECT_EQ(firstChars("ab", 0), "");
}

TEST(Text, ValidUtf8) {
    const std::pair<std::string, bool> cases[] = {
        {"abc", true},
        {"报告", true},
        {"", true},
        {std::string("a\0b", 3), true},
        {"\xFF", false},
        {"\xC0\xAF", false},          // overlong "/"
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\xE6\x8A", false},          // cut short
    };
    for (const auto& [bytes, valid] : cases) EXPECT_EQ(isValidUtf8(bytes), valid) << ::testing::PrintToString(bytes);
}

TEST(Text, ContainsCanonical) {
    const struct {
        const char* haystack;
        const char* needle;
        bool found;
    } cases[] = {
        {"Cafe\xCC\x81 menu", "Café", true},  // decomposed haystack, precomposed needle
        {"Café menu", "Cafe\xCC\x81", true},
        {"abc", "", true},
        {"报告2024", "告2", true},
        {"Report", "report", false},  // case is significant
        {"résumé", "resume", false},  // diacritics are significant
        {"café", "e", false},
        {"q\xCC\x81x", "x", true},
        {"q\xCC\x81x", "q", false},  // would split q + mark, which has no composed form
    };
    for (const auto& c : cases)
        EXPECT_EQ(containsCanonical(c.haystack, c.needle), c.found) << c.haystack << " / " << c.needle;
}

TEST(Text, TrimSpacesKeepsLineBreaks) {
    const std::pair<const char*, const char*> cases[] = {
        {"  report \t", "report"}, {"\xE3\x80\x80x\xC2\xA0", "x"},  // ideographic and no-break spaces
        {"\nx\n", "\nx\n"},        {"   ", ""},
        {"a  b", "a  b"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(trimSpaces(in), out) << ::testing::PrintToString(std::string(in));
}

}  // namespace
}  // namespace qf
