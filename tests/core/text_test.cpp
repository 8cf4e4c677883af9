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

TEST(Text, ContainsCanonicalOnWholeCharacters) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"Cafe\xCC\x81 menu", "Café", true},                                // decomposed haystack, precomposed needle
        {"Café menu", "Cafe\xCC\x81", true}, {"Report", "report", false},   // case and diacritics are significant
        {"résumé", "resume", false},         {"cafe\xCC\x81", "e", false},  // would split e + mark
        {"q\xCC\x81x", "x", true},           {"q\xCC\x81x", "q", false},    // q + mark has no composed form
    };
    for (const auto& [haystack, needle, found] : cases)
        EXPECT_EQ(containsCanonical(haystack, needle), found) << haystack << " / " << needle;
}

// The ASCII letters at both ends and their neighbours in the code table,
// then the Unicode mappings, which follow no locale.
TEST(Text, CaseMappings) {
    EXPECT_EQ(lowerCase("@AMZ[`amz{"), "@amz[`amz{");
    EXPECT_EQ(upperCase("@AMZ[`amz{"), "@AMZ[`AMZ{");
    EXPECT_EQ(lowerCase("ÄÖÜ Iİ"), "äöü ii\xCC\x87");
    EXPECT_EQ(upperCase("straße ı"), "STRASSE I");
}

// Spaces (ideographic and no-break ones too) go from both ends; a new name
// also loses every line break around it: LF, VT, FF, CR, NEL and the
// Unicode line and paragraph separators. The characters next to them stay.
TEST(Text, TrimSpacesAndLineBreaks) {
    EXPECT_EQ(trimSpaces("\xE3\x80\x80 a  b\t\xC2\xA0"), "a  b");
    EXPECT_EQ(trimSpaces("\nx\n"), "\nx\n");
    for (const char* brk : {"\n", "\v", "\f", "\r", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"})
        EXPECT_EQ(trimSpacesAndLineBreaks(std::string(brk) + " a\tb\x0E" + brk), "a\tb\x0E")
            << ::testing::PrintToString(std::string(brk));
}

TEST(Tokenizer, SplitsAtSpacesOutsideQuotesAndKeepsThePathTail) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"a \"\" b", {"a", "b"}},
        {"ab\"cd ef\"", {"abcd ef"}},  // text before an opening quote joins the phrase
        {"\"cd\"ef", {"cd", "ef"}},    // text after a closing quote starts a new token
        {"x \"open phrase  here", {"x", "open phrase  here"}},
        {"a\tb 报告\xE3\x80\x80文件", {"a\tb", "报告\xE3\x80\x80文件"}},  // only U+0020 separates
    };
    for (const auto& [text, tokens] : cases) EXPECT_THAT(strTokenize(text), ElementsAreArray(tokens)) << text;
    const std::pair<std::string, std::string> tails[] = {
        {"docs/", "docs"}, {"docs//report", "report"}, {"/", "/"}, {"资料/报告", "报告"}};
    for (const auto& [token, tail] : tails) EXPECT_EQ(pathTailToken(token), tail) << token;
}

// Wildcard and suffix tokens are never index terms: their width does not
// matter. Short ASCII words (CR LF counts once) only filter names.
TEST(Tokenizer, ClassifiesTokens) {
    const std::tuple<const char*, bool, bool> cases[] = {
        {"*.pdf", true, false}, {"a?c", true, false},      {".pdf", true, false},   {".报", true, false},
        {".", false, true},     {"re.port", false, false}, {"pdf", false, true},    {"docs", false, false},
        {"报", false, false},   {"é", false, false},       {"a\r\nb", false, true}, {"it's", false, false},
    };
    for (const auto& [token, pattern, wideShort] : cases) {
        EXPECT_EQ(isPatternToken(token), pattern) << token;
        if (!pattern) {
            EXPECT_EQ(isWideShortToken(token), wideShort) << token;
        }
    }
}

// Callers lower-case the tokens; a suffix ends, and starts, on a character
// boundary (U+0600 joins the "." after it).
TEST(Matcher, PatternMatchesNames) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {".pdf", "Report.pdfx", false},  {"pdf", "report_pdf", true},   {"*.pdf", ".pdf", true},
        {"a?c", "a报c", true},           {"a?c", "ac", false},          {"r*t", "reports", false},
        {"[x]*", "[x]y", true},          {".PDF", "report.pdf", false}, {"a.b*", "axb", false},
        {"a*b", "a\nb", false},          {"(x)+|$?", "(x)+|$z", true},  {"\\d*", "1", false},
        {".txt", "Ärger.TXT", true},     {"e", "cafe\xCC\x81", false},  {"é", "cafe\xCC\x81", true},
        {".pdf", "\xD8\x80.pdf", false},
    };
    for (const auto& [token, name, result] : cases)
        EXPECT_EQ(patternMatch(token, name), result) << token << " vs " << ::testing::PrintToString(std::string(name));
}

// Case and anchors are the model's expression tests; these are the
// whole-character and Unicode-class cases they do not reach.
TEST(Regex, MatchesWholeCharactersAndUnicodeClasses) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"a.c", "a\nc", false}, {"a.c", "a😀c", true}, {"^\\p{Han}+$", "报告", true}, {"^\\p{Han}+$", "报告1", false}};
    for (const auto& [pattern, text, result] : cases) {
        const auto re = Regex::compile(pattern, false);
        ASSERT_TRUE(re) << pattern;
        EXPECT_EQ(re->matches(text), result) << pattern << " in " << text;
    }
}

}  // namespace
}  // namespace qf
