#include <gtest/gtest.h>

#include <cstdio>

#include "core/text.h"

namespace qf {
namespace {

std::string escaped(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x21 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

struct CountCase {
    const char* text;
    std::size_t chars;
    bool ascii;
};

void PrintTo(const CountCase& c, std::ostream* os) {
    // Case texts hold line breaks and non-ASCII: keep test names one plain line.
    *os << escaped(c.text);
}

class CharCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CharCountTest, CountsUserPerceivedCharacters) {
    EXPECT_EQ(charCount(GetParam().text), GetParam().chars) << GetParam().text;
    EXPECT_EQ(allAscii(GetParam().text), GetParam().ascii) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Text, CharCountTest,
                         ::testing::Values(CountCase{"", 0, true}, CountCase{"abc", 3, true},
                                           CountCase{"a\r\nb", 3, true},      // CR LF is one ASCII character
                                           CountCase{"a\rb", 3, true},
                                           CountCase{"e\xCC\x81", 1, false},  // e + combining acute
                                           CountCase{"报告", 2, false},
                                           CountCase{"👍🏽", 1, false},         // emoji + skin tone
                                           CountCase{"👨‍👩‍👧", 1, false},       // ZWJ family
                                           CountCase{"🇨🇳x", 2, false}));      // flag pair + x

TEST(Text, FirstCharsCutsAtCharacterBoundaries) {
    EXPECT_EQ(firstChars("he\xCC\x81llo", 2), "he\xCC\x81");
    EXPECT_EQ(firstChars("报告文件", 3), "报告文");
    EXPECT_EQ(firstChars("ab", 40), "ab");
    EXPECT_EQ(firstChars("ab", 0), "");
}

TEST(Text, ValidUtf8) {
    const std::pair<std::string, bool> cases[] = {
        {"abc", true},
        {"报告", true},
        {"", true},
        {"\xFF", false},
        {"\xC0\xAF", false},          // overlong "/"
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\xE6\x8A", false},          // cut short
        {std::string("a\0b", 3), true},
    };
    for (const auto& [bytes, valid] : cases) EXPECT_EQ(isValidUtf8(bytes), valid) << ::testing::PrintToString(bytes);
}

TEST(Text, CasingIsLocaleIndependent) {
    EXPECT_EQ(lowerCase("RePort.PDF"), "report.pdf");
    EXPECT_EQ(lowerCase("ÀÉÎ"), "àéî");
    // Root mapping, not Turkish: dotted capital I keeps its dot as a mark.
    EXPECT_EQ(lowerCase("I\xC4\xB0"), "ii\xCC\x87");
    EXPECT_EQ(upperCase("straße"), "STRASSE");
    EXPECT_EQ(upperCase("zzq"), "ZZQ");
    EXPECT_EQ(lowerCase("报告"), "报告");
}

TEST(Text, NfcComposes) {
    EXPECT_EQ(nfc("Cafe\xCC\x81"), "Café");
    EXPECT_EQ(nfc("plain"), "plain");
}

TEST(Text, ContainsCanonical) {
    const struct {
        const char* haystack;
        const char* needle;
        bool found;
    } cases[] = {
        {"Cafe\xCC\x81 menu", "Café", true},   // decomposed haystack, precomposed needle
        {"Café menu", "Cafe\xCC\x81", true},
        {"Report", "report", false},           // case is significant
        {"résumé", "resume", false},           // diacritics are significant
        {"café", "e", false},
        {"q\xCC\x81x", "q", false},            // would split q + mark, which has no composed form
        {"q\xCC\x81x", "x", true},
        {"abc", "", true},
        {"报告2024", "告2", true},
    };
    for (const auto& c : cases) EXPECT_EQ(containsCanonical(c.haystack, c.needle), c.found) << c.haystack << " / " << c.needle;
}

TEST(Text, TrimSpacesKeepsLineBreaks) {
    const std::pair<const char*, const char*> cases[] = {
        {"  report \t", "report"},
        {"\xE3\x80\x80x\xC2\xA0", "x"},  // ideographic and no-break spaces
        {"\nx\n", "\nx\n"},
        {"   ", ""},
        {"", ""},
        {"a  b", "a  b"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(trimSpaces(in), out) << ::testing::PrintToString(std::string(in));
}

TEST(Text, PlainOrderIsCodePointOrderOfNfc) {
    EXPECT_TRUE(plainLess("B", "a"));
    EXPECT_TRUE(plainLess("/a/b", "/a/c"));
    EXPECT_TRUE(plainLess("z", "é"));
    // Canonically equivalent paths are equal in this order.
    EXPECT_FALSE(plainLess("é", "e\xCC\x81"));
    EXPECT_FALSE(plainLess("e\xCC\x81", "é"));
    // Decomposed é sorts where composed é sorts, after every ASCII letter.
    EXPECT_TRUE(plainLess("ez", "e\xCC\x81"));
    EXPECT_TRUE(plainLess("e\xCC\x81" "a", "éb"));
}

}  // namespace
}  // namespace qf
