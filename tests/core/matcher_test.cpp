#include <gtest/gtest.h>

#include "core/matcher.h"

namespace qf {
namespace {

TEST(Matcher, PatternMatchesNames) {
    const struct {
        const char* token;
        const char* name;
        bool result;
    } cases[] = {
        {".pdf", "Report.PDF", true},
        {".pdf", "Report.pdfx", false},
        {"pdf", "report_pdf", true},
        {"*.pdf", "a.PDF", true},
        {"*.pdf", ".pdf", true},
        {"*.pdf", "a.pdf.txt", false},
        {"a?c", "abc", true},
        {"a?c", "a报c", true},
        {"a?c", "ac", false},
        {"r*t", "report", true},
        {"r*t", "reports", false},
        {"[x]*", "[x]y", true},
        {"*", "anything at all", true},
        {"?", "x", true},
        {"?", "xy", false},
        {".PDF", "report.pdf", false},  // callers lower-case tokens
        {"a.b*", "axb", false},         // the period is literal
        {"a.b*", "a.bc", true},
        {"a*b", "a\nb", false},  // no line breaks
        {"(x)+|$?", "(x)+|$z", true},
        {"\\d*", "\\d1", true},
        {"\\d*", "1", false},
        {"报*.txt", "报告.TXT", true},
        {".txt", "Ärger.TXT", true},
        {"ä*", "Äpfel", true},
        {"e", "cafe\xCC\x81", false},  // a suffix must end on a character boundary
        {"é", "cafe\xCC\x81", true},   // canonically equivalent ending
    };
    for (const auto& c : cases) {
        EXPECT_EQ(patternMatch(c.token, c.name), c.result)
            << c.token << " vs " << ::testing::PrintToString(std::string(c.name));
    }
}

TEST(Regex, CompilesIcuSyntaxAndMatchesAnywhereUnlessAnchored) {
    EXPECT_FALSE(Regex::compile("[", true).has_value());
    EXPECT_FALSE(Regex::compile("a{2", false).has_value());
    const struct {
        const char* pattern;
        bool caseInsensitive;
        const char* text;
        bool result;
    } cases[] = {
        {"foo", true, "xFOOy", true},           {"foo", false, "xFOOy", false},
        {"^foo", true, "xfoo", false},          {"o$", false, "foo", true},
        {"a.c", false, "a\nc", false},          {"a.c", false, "a😀c", true},
        {"\\d{4}", false, "报告2024", true},    {"^\\p{Han}+$", false, "报告", true},
        {"^\\p{Han}+$", false, "报告1", false},
    };
    for (const auto& c : cases) {
        const auto re = Regex::compile(c.pattern, c.caseInsensitive);
        ASSERT_TRUE(re) << c.pattern;
        EXPECT_EQ(re->matches(c.text), c.result) << c.pattern << " in " << c.text;
    }
}

}  // namespace
}  // namespace qf
