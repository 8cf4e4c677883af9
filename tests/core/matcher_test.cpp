#include <gtest/gtest.h>

#include <cstdio>

#include <atomic>
#include <thread>
#include <vector>

#include "core/matcher.h"

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

struct MatchCase {
    const char* token;
    const char* name;
    bool result;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
    // Case texts hold line breaks and non-ASCII: keep test names one plain line.
    *os << escaped(c.token) << " / " << escaped(c.name);
}

class PatternMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(PatternMatchTest, MatchesNames) {
    const auto& c = GetParam();
    EXPECT_EQ(patternMatch(c.token, c.name), c.result) << c.token << " vs " << ::testing::PrintToString(std::string(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Matcher, PatternMatchTest,
    ::testing::Values(MatchCase{".pdf", "Report.PDF", true}, MatchCase{".pdf", "Report.pdfx", false},
                      MatchCase{"pdf", "report_pdf", true}, MatchCase{"*.pdf", "a.PDF", true},
                      MatchCase{"*.pdf", ".pdf", true}, MatchCase{"*.pdf", "a.pdf.txt", false},
                      MatchCase{"a?c", "abc", true}, MatchCase{"a?c", "a报c", true}, MatchCase{"a?c", "ac", false},
                      MatchCase{"r*t", "report", true}, MatchCase{"r*t", "reports", false},
                      MatchCase{"[x]*", "[x]y", true}, MatchCase{"*", "anything at all", true},
                      MatchCase{"?", "x", true}, MatchCase{"?", "xy", false},
                      MatchCase{".PDF", "report.pdf", false},  // callers lower-case tokens
                      MatchCase{"a.b*", "axb", false},         // the period is literal
                      MatchCase{"a.b*", "a.bc", true}, MatchCase{"a*b", "a\nb", false},  // no line breaks
                      MatchCase{"(x)+|$?", "(x)+|$z", true}, MatchCase{"\\d*", "\\d1", true},
                      MatchCase{"\\d*", "1", false}, MatchCase{"报*.txt", "报告.TXT", true},
                      MatchCase{".txt", "Ärger.TXT", true}, MatchCase{"ä*", "Äpfel", true},
                      MatchCase{"e", "cafe\xCC\x81", false},  // suffix must end on a character boundary
                      MatchCase{"é", "cafe\xCC\x81", true}));  // canonically equivalent ending

TEST(Regex, CompilesIcuSyntax) {
    EXPECT_FALSE(Regex::compile("[", true).has_value());
    EXPECT_FALSE(Regex::compile("a{2", false).has_value());
    const auto han = Regex::compile("^\\p{Han}+$", false);
    ASSERT_TRUE(han);
    EXPECT_TRUE(han->matches("报告"));
    EXPECT_FALSE(han->matches("报告1"));
}

TEST(Regex, MatchesAnywhereUnlessAnchored) {
    const struct {
        const char* pattern;
        bool caseInsensitive;
        const char* text;
        bool result;
    } cases[] = {
        {"foo", true, "xFOOy", true},   {"foo", false, "xFOOy", false}, {"^foo", true, "xfoo", false},
        {"o$", false, "foo", true},     {"a.c", false, "a\nc", false},  {"a.c", false, "a😀c", true},
        {"\\d{4}", false, "报告2024", true},
    };
    for (const auto& c : cases) {
        const auto re = Regex::compile(c.pattern, c.caseInsensitive);
        ASSERT_TRUE(re) << c.pattern;
        EXPECT_EQ(re->matches(c.text), c.result) << c.pattern << " in " << c.text;
    }
}

TEST(Regex, OneCompiledExpressionServesManyThreads) {
    const auto re = Regex::compile("^r.*t\\.pdf$", true);
    ASSERT_TRUE(re);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                if (!re->matches("Report.PDF") || re->matches("report.pdfx")) ++wrong;
                if (!patternMatch("r*t.pdf", "Report.pdf")) ++wrong;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace qf
