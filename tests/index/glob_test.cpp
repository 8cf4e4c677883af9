#include <gtest/gtest.h>

#include "fold.h"
#include "glob.h"

namespace qf::index {
namespace {

constexpr FoldMode kBoth{true, true}, kCase{true, false}, kExact{false, false};

TEST(GlobTest, MatchesWholeNamesByCharacter) {
    const std::tuple<const char*, const char*, FoldMode, bool> cases[] = {
        {"*.pdf", "Report.PDF", kBoth, true},
        {"*.pdf", "Report.PDF", kExact, false},
        {"*.pdf", "report.pdf.txt", kBoth, false},  // whole name
        {"report", "my report", kBoth, false},      // no implicit *
        {"*report*", "my Réport 1", kCase, false},  // diacritics count
        {"report?.txt", "report1.txt", kBoth, true},
        {"report?.txt", "report.txt", kBoth, false},
        {"?", "报", kBoth, true},  // one character, three bytes
        {"??", "报", kBoth, false},
        {"a?c", "ae\u0301c", kExact, true},                       // é composed by NFC
        {"?", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", kExact, true},  // emoji + skin tone
        {"?", "\r\n", kExact, true},                              // CR LF is one character
        {"*", "", kBoth, true},
        {"", "a", kBoth, false},
        {"*a*b*c", "aXbXbXc", kBoth, true},
        {"*a*b*c", "aXbXcX", kBoth, false},
        {"*i'm*", "so I'M here", kBoth, true},
        {"\\*x", "*x", kBoth, true},  // escaped wildcards are literal
        {"\\*x", "ax", kBoth, false},
        {"a\\?", "ab", kBoth, false},
        {"STRASSE*", "straße.txt", kBoth, true},
    };
    for (const auto& [pattern, name, mode, matches] : cases)
        EXPECT_EQ(GlobPattern(globTokensFromText(pattern), mode).matches(foldName(name, mode)), matches)
            << pattern << " ~ " << name;
}

}  // namespace
}  // namespace qf::index
