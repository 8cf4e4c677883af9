#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/tokenizer.h"

namespace qf {
namespace {

using ::testing::ElementsAreArray;
using Tokens = std::vector<std::string>;

TEST(Tokenizer, StrTokenize) {
    const std::pair<std::string, Tokens> cases[] = {
        {"", {}},
        {"    ", {}},
        {"\"\"", {}},
        {"a \"\" b", {"a", "b"}},
        {"foo  bar", {"foo", "bar"}},
        {"\"big report\" x", {"big report", "x"}},
        {"ab\"cd ef\"", {"abcd ef"}},  // text before an opening quote joins the phrase
        {"\"cd\"ef", {"cd", "ef"}},    // text after a closing quote starts a new token
        {"x \"open phrase  here", {"x", "open phrase  here"}},
        {"report\t", {"report\t"}},  // only U+0020 separates
        {"a\tb c", {"a\tb", "c"}},
        {"报告\xE3\x80\x80文件", {"报告\xE3\x80\x80文件"}},
        {" \" \" ", {" "}},
        {"a\r\nb c", {"a\r\nb", "c"}},
    };
    for (const auto& [text, tokens] : cases) {
        EXPECT_THAT(strTokenize(text), ElementsAreArray(tokens)) << ::testing::PrintToString(text);
    }
}

TEST(Tokenizer, PathTailToken) {
    const std::pair<std::string, std::string> cases[] = {
        {"/Users/x/docs/report", "report"},
        {"docs/", "docs"},
        {"docs//report", "report"},
        {"/", "/"},
        {"//", "//"},
        {"report", "report"},
        {"资料/报告", "报告"},
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

TEST(Tokenizer, ExtractLiterals) {
    const std::pair<std::string, Tokens> cases[] = {
        {"^report_(\\d+)\\.pdf$", {"report", "d", "pdf"}},
        {"2024年报告", {"2024年报告"}},
        {".*", {}},
        {"[^]()+?", {}},
        {"foo|bar", {"foo", "bar"}},
        {"x²½", {"x²½"}},  // number categories beyond digits
    };
    for (const auto& [text, literals] : cases) EXPECT_THAT(extractLiterals(text), ElementsAreArray(literals)) << text;
}

}  // namespace
}  // namespace qf
