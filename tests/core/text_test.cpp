// The query's text: user-perceived characters, tokens, name patterns and
// expressions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/matcher.h"
#include "core/text.h"
#include "core/tokenizer.h"

namespace qf {
namespace {

using ::testing::ElementsAreArray;
using Tokens = std::vector<std::string>;

TEST(Text, ContainsCanonical) {
    const struct {
        const char* haystack;
        const char* needle;
        bool found;
    } cases[] = {
        {"Cafe\xCC\x81 menu", "Café", true},  // decomposed haystack, precomposed needle
        {"Café menu", "Cafe\xCC\x81", true},
        {"abc", "", true},
        {"Report", "report", false},  // case is significant
        {"résumé", "resume", false},  // diacritics are significant
        {"café", "e", false},
        {"q\xCC\x81x", "x", true},
        {"q\xCC\x81x", "q", false},  // would split q + mark, which has no composed form
    };
    for (const auto& c : cases)
        EXPECT_EQ(containsCanonical(c.haystack, c.needle), c.found) << c.haystack << " / " << c.needle;
}

// Every ASCII letter and its neighbours in the code table, then the Unicode
// mappings, which follow no locale.
TEST(Text, CaseMappings) {
    std::string upper = "@[`{", lower = "@[`{";
    for (char c = 'A'; c <= 'Z'; ++c) {
        upper += c;
        lower += static_cast<char>(c - 'A' + 'a');
    }
    EXPECT_EQ(lowerCase(upper), lower);
    EXPECT_EQ(upperCase(lower), upper);
    EXPECT_EQ(lowerCase("ÄÖÜ Iİ"), "äöü ii\xCC\x87");
    EXPECT_EQ(upperCase("straße ı"), "STRASSE I");
}

TEST(Text, TrimSpacesKeepsLineBreaks) {
    const std::pair<const char*, const char*> cases[] = {
        {"  report \t", "report"}, {"\xE3\x80\x80x\xC2\xA0", "x"},  // ideographic and no-break spaces
        {"\nx\n", "\nx\n"},        {"   ", ""},
        {"a  b", "a  b"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(trimSpaces(in), out) << ::testing::PrintToString(std::string(in));
}

// A new name loses every line break around it: LF, VT, FF, CR, NEL and the
// Unicode line and paragraph separators; the characters next to them stay.
TEST(Text, TrimSpacesAndLineBreaks) {
    for (const char* brk : {"\n", "\v", "\f", "\r", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"}) {
        EXPECT_EQ(trimSpacesAndLineBreaks(std::string(brk) + " a\tb\x0E" + brk), "a\tb\x0E")
            << ::testing::PrintToString(std::string(brk));
    }
    EXPECT_EQ(trimSpacesAndLineBreaks("\x09\x0E\x1F"), "\x0E\x1F");
}

TEST(Tokenizer, StrTokenize) {
    const std::pair<std::string, Tokens> cases[] = {
        {"a \"\" b", {"a", "b"}},
        {"ab\"cd ef\"", {"abcd ef"}},  // text before an opening quote joins the phrase
        {"\"cd\"ef", {"cd", "ef"}},    // text after a closing quote starts a new token
        {"x \"open phrase  here", {"x", "open phrase  here"}},
        {"a\tb c", {"a\tb", "c"}},  // only U+0020 separates
        {"报告\xE3\x80\x80文件", {"报告\xE3\x80\x80文件"}},
        {" \" \" ", {" "}},
    };
    for (const auto& [text, tokens] : cases) {
        EXPECT_THAT(strTokenize(text), ElementsAreArray(tokens)) << ::testing::PrintToString(text);
    }
}

TEST(Tokenizer, PathTailToken) {
    const std::pair<std::string, std::string> cases[] = {
        {"docs/", "docs"}, {"docs//report", "report"}, {"/", "/"}, {"//", "//"}, {"资料/报告", "报告"},
    };
    for (const auto& [token, tail] : cases) EXPECT_EQ(pathTailToken(token), tail) << token;
}

TEST(Tokenizer, ClassifiesTokens) {
    const struct {
        const char* token;
        bool pattern, wideShort;
    } cases[] = {
        {"*.pdf", true, false}, {"a?c", true, false},    {".pdf", true, false},    {"*", true, false},
        {"?", true, false},     {".", false, true},      {"report", false, false}, {"re.port", false, false},
        {"", false, true},      {".报", true, false},    {"ab", false, true},      {"pdf", false, true},
        {"a", false, true},     {"docs", false, false},  {"报告", false, false},   {"报", false, false},
        {"é", false, false},    {"a\r\nb", false, true},  // CR LF counts once, ASCII
        {"it's", false, false}, {"i'm", false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isPatternToken(c.token), c.pattern) << c.token;
        // Wildcard and suffix tokens are never index terms: their width does not matter.
        if (!c.pattern) {
            EXPECT_EQ(isWideShortToken(c.token), c.wideShort) << c.token;
        }
    }
}

TEST(Matcher, PatternMatchesNames) {
    const struct {
        const char* token;
        const char* name;
        bool result;
    } cases[] = {
        {".pdf", "Report.pdfx", false}, {"pdf", "report_pdf", true},
        {"*.pdf", ".pdf", true},        {"a?c", "abc", true},
        {"a?c", "a报c", true},          {"a?c", "ac", false},
        {"r*t", "report", true},        {"r*t", "reports", false},
        {"[x]*", "[x]y", true},         {"?", "xy", false},
        {".PDF", "report.pdf", false},  // callers lower-case tokens
        {"a.b*", "axb", false},         // the period is literal
        {"a*b", "a\nb", false},         // no line breaks
        {"(x)+|$?", "(x)+|$z", true},   {"\\d*", "\\d1", true},
        {"\\d*", "1", false},           {"报*.txt", "报告.TXT", true},
        {".txt", "Ärger.TXT", true},    {"ä*", "Äpfel", true},
        {"e", "cafe\xCC\x81", false},  // a suffix must end on a character boundary
        {"é", "cafe\xCC\x81", true},   // canonically equivalent ending
    };
    for (const auto& c : cases) {
        EXPECT_EQ(patternMatch(c.token, c.name), c.result)
            << c.token << " vs " << ::testing::PrintToString(std::string(c.name));
    }
    // A suffix starts on a character boundary: U+0600 joins the "." after it.
    EXPECT_FALSE(patternMatch(".pdf", "\xD8\x80.pdf"));
}

// Case and anchors are the model's expression tests; these are the
// whole-character and Unicode-class cases they do not reach.
TEST(Regex, MatchesWholeCharactersAndUnicodeClasses) {
    EXPECT_FALSE(Regex::compile("[", false));  // the model's dead-expression run cannot tell
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"a.c", "a\nc", false},          {"a.c", "a😀c", true},
        {"\\d{4}", "报告2024", true},    {"^\\p{Han}+$", "报告", true},
        {"^\\p{Han}+$", "报告1", false},
    };
    for (const auto& [pattern, text, result] : cases) {
        const auto re = Regex::compile(pattern, false);
        ASSERT_TRUE(re) << pattern;
        EXPECT_EQ(re->matches(text), result) << pattern << " in " << text;
    }
}

}  // namespace
}  // namespace qf
