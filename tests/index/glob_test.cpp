#include <gtest/gtest.h>

#include "fold.h"
#include "glob.h"

namespace qf::index {
namespace {

constexpr FoldMode kBoth{true, true}, kCase{true, false}, kExact{false, false};

struct GlobCase {
    const char* pattern;
    const char* name;
    FoldMode mode;
    bool matches;
};
void PrintTo(const GlobCase& c, std::ostream* os) { *os << c.pattern << " ~ " << c.name; }

class GlobTest : public ::testing::TestWithParam<GlobCase> {};

TEST_P(GlobTest, Matches) {
    const GlobCase& c = GetParam();
    EXPECT_EQ(GlobPattern(globTokensFromText(c.pattern), c.mode).matches(foldName(c.name, c.mode)), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GlobTest,
    ::testing::Values(GlobCase{"*.pdf", "Report.PDF", kBoth, true}, GlobCase{"*.pdf", "Report.PDF", kExact, false},
                      GlobCase{"*.pdf", "report.pdf.txt", kBoth, false},  // whole name
                      GlobCase{"report", "my report", kBoth, false},      // no implicit *
                      GlobCase{"*report*", "my Réport 1", kCase, false},  // diacritics count
                      GlobCase{"report?.txt", "report1.txt", kBoth, true},
                      GlobCase{"report?.txt", "report.txt", kBoth, false},
                      GlobCase{"?", "报", kBoth, true},  // one character, three bytes
                      GlobCase{"??", "报", kBoth, false},
                      GlobCase{"a?c",
                               "ae\xCC\x81"
                               "c",
                               kExact, true},                                           // é composed by NFC
                      GlobCase{"?", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", kExact, true},  // emoji + skin tone
                      GlobCase{"?", "\r\n", kExact, true},                              // CR LF is one character
                      GlobCase{"*", "", kBoth, true}, GlobCase{"", "a", kBoth, false},
                      GlobCase{"*a*b*c", "aXbXbXc", kBoth, true}, GlobCase{"*a*b*c", "aXbXcX", kBoth, false},
                      GlobCase{"*i'm*", "so I'M here", kBoth, true},
                      GlobCase{"\\*x", "*x", kBoth, true},  // escaped wildcards are literal
                      GlobCase{"\\*x", "ax", kBoth, false}, GlobCase{"a\\?", "ab", kBoth, false},
                      GlobCase{"STRASSE*", "straße.txt", kBoth, true}));

}  // namespace
}  // namespace qf::index
