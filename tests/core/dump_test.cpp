#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "core/core_test_support.h"
#include "core/dump.h"
#include "core/query_plan.h"
#include "core/tokenizer.h"

extern char** environ;

namespace qf {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;

const std::string byName = "-name";

Args nameQuery(const std::string& value) {
    return {"kMDItemFSName == '" + value + "'cd"};
}

class DumpTest : public ::testing::Test {
protected:
    void SetUp() override { test::clearDebugLog(); }

    std::string dump(const std::string& query) {
        const std::string out = scratch.file("stderr");
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_GE(fd, 0);
        writeDump(query, fd);
        ::close(fd);
        return test::readFile(out);
    }

    static Lines numbered(const std::string& prefix, int count, const std::string& suffix) {
        Lines out;
        for (int i = 0; i < count; ++i) {
            char n[8];
            std::snprintf(n, sizeof n, "%03d", i);
            out.push_back(prefix + n + suffix);
        }
        return out;
    }

    test::TempDir scratch;
    test::FakeMdfind fake;
};

TEST(DumpMode, OnlyExactlyOneSelectsIt) {
    const std::pair<const char*, bool> cases[] = {{"1", true}, {"true", false}, {"0", false},
                                                  {"", false}, {"1 ", false}, {nullptr, false}};
    for (const auto& [value, selected] : cases) EXPECT_EQ(dumpModeSelected(value), selected) << (value ? value : "(unset)");
}

TEST(QueryPlanning, ClassifiesTokens) {
    const struct {
        Args tokens;
        Args patterns;
        Args index;
        std::optional<std::string> chosen;
        Args filter;
    } cases[] = {
        {{"report"}, {}, {"report"}, std::nullopt, {}},
        {{"ab"}, {}, {}, "ab", {}},
        {{"a"}, {}, {}, std::nullopt, {}},
        {{"report", "ab", "x"}, {}, {"report"}, std::nullopt, {"ab"}},
        {{"*.PDF"}, {"*.pdf"}, {}, std::nullopt, {}},
        {{"ab", ".pdf", "cd", "x"}, {".pdf"}, {}, std::nullopt, {"ab", "cd"}},
        {{"ab", "AB", "ab", "cde"}, {}, {}, "ab", {"AB", "cde"}},  // repetitions of the chosen literal drop out
        {{"x", "y"}, {}, {}, std::nullopt, {}},
        {{"报", "ab", ".Txt"}, {".txt"}, {"报"}, std::nullopt, {"ab"}},
        {{"2024", "report"}, {}, {"2024", "report"}, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        const QueryPlan plan = planQuery(c.tokens);
        const std::string label = ::testing::PrintToString(c.tokens);
        EXPECT_THAT(plan.patternTokens, ElementsAreArray(c.patterns)) << label;
        EXPECT_THAT(plan.indexTerms, ElementsAreArray(c.index)) << label;
        EXPECT_EQ(plan.chosenLiteral, c.chosen) << label;
        EXPECT_THAT(plan.literalFilter, ElementsAreArray(c.filter)) << label;
    }
}

TEST_F(DumpTest, EmptyQueryOrNoTokensWritesNothing) {
    for (const char* query : {"", "   ", "\"\"", " \"\" \"\" "}) {
        EXPECT_EQ(dump(query), "") << query;
    }
    EXPECT_THAT(fake.calls(), IsEmpty());
}

TEST_F(DumpTest, IndexTermShowsTheFirstTwentyInPlainOrder) {
    Lines paths = numbered("/docs/report-", 30, ".txt");
    paths.push_back("/Docs/zzz");  // upper case sorts first
    std::reverse(paths.begin(), paths.end());
    fake.answer({byName, "report"}, paths);
    Lines expected{"/Docs/zzz"};
    for (int i = 0; i < 19; ++i) expected.push_back(numbered("/docs/report-", 19, ".txt")[i]);
    expected.push_back("TOTAL=31 SHOWN=20");
    EXPECT_THAT(test::linesOf(dump("report")), ElementsAreArray(expected));
    EXPECT_THAT(fake.calls(), ElementsAre(Args{byName, "report"}));
    EXPECT_THAT(test::debugMessages(), ElementsAre("tok 'report' -> 31 lines"));
}

TEST_F(DumpTest, ShortQueryBecomesTheSubstringQuestion) {
    fake.answer(nameQuery("*ab*"), {"/x/lab", "/x/Abby"});
    EXPECT_THAT(test::linesOf(dump("ab")), ElementsAre("/x/Abby", "/x/lab", "TOTAL=2 SHOWN=2"));
    EXPECT_THAT(fake.calls(), ElementsAre(nameQuery("*ab*")));
}

TEST_F(DumpTest, OneAsciiCharacterAsksNothing) {
    EXPECT_EQ(dump("a"), "TOTAL=0 SHOWN=0\n");
    EXPECT_THAT(fake.calls(), IsEmpty());
}

TEST_F(DumpTest, ShortTermsFilterIndexAnswersWithoutCase) {
    fake.answer({byName, "report"}, {"/r/report", "/r/ABreport", "/r/report-lab", "/r/Report"});
    EXPECT_THAT(test::linesOf(dump("report ab")), ElementsAre("/r/ABreport", "/r/report-lab", "TOTAL=4 SHOWN=2"));
    EXPECT_THAT(fake.calls(), ElementsAre(Args{byName, "report"}));
}

TEST_F(DumpTest, WildcardTokensAreAskedAndTestedLocally) {
    fake.answer(nameQuery("*.pdf"), {"/p/a.PDF", "/p/a.pdf.txt", "/p/b.pdf", "/p/c.pdfx"});
    EXPECT_THAT(test::linesOf(dump("*.PDF")), ElementsAre("/p/a.PDF", "/p/b.pdf", "TOTAL=4 SHOWN=2"));
    EXPECT_THAT(test::linesOf(dump(".pdf")), ElementsAre("/p/a.PDF", "/p/b.pdf", "TOTAL=4 SHOWN=2"));
}

TEST_F(DumpTest, LiteralAndSuffixTogether) {
    fake.answer(nameQuery("*.pdf"), {"/p/lab.pdf", "/p/a.pdf", "/p/Abc.PDF", "/p/ab.txt"});
    EXPECT_THAT(test::linesOf(dump("ab .pdf")), ElementsAre("/p/Abc.PDF", "/p/lab.pdf", "TOTAL=4 SHOWN=2"));
    EXPECT_THAT(fake.calls(), ElementsAre(nameQuery("*.pdf")));
}

TEST_F(DumpTest, QueryTextReachesTheIndexAsTyped) {
    const std::pair<std::string, Args> cases[] = {
        {"docs/report", {byName, "report"}},
        {"report\t", {byName, "report\t"}},  // not trimmed: the tab is part of the term
        {"it's", {byName, "it's"}},
        {"\"big report\"", {byName, "big report"}},
        // Inside the double quotes the shell keeps '\'' as it stands; the
        // index's query parser reads it as one apostrophe.
        {"i'm", nameQuery("*i'\\''m*")},
        {"报", {byName, "报"}},
    };
    for (const auto& [query, args] : cases) {
        EXPECT_EQ(dump(query), "TOTAL=0 SHOWN=0\n") << query;
        ASSERT_FALSE(fake.calls().empty());
        EXPECT_EQ(fake.calls().back(), args) << query;
    }
}

TEST_F(DumpTest, TotalCountsCandidatesNotMatches) {
    fake.answer({byName, "report"}, numbered("/m/report", 100, ""));
    EXPECT_EQ(test::linesOf(dump("report")).back(), "TOTAL=100 SHOWN=20");

    Lines mixed = numbered("/m/report", 97, "");
    mixed.insert(mixed.end(), {"/m/report-ab1", "/m/report-AB2", "/m/x-ab-report"});
    fake.answer({byName, "report"}, mixed);
    EXPECT_THAT(test::linesOf(dump("report ab")),
                ElementsAre("/m/report-AB2", "/m/report-ab1", "/m/x-ab-report", "TOTAL=100 SHOWN=3"));
}

TEST_F(DumpTest, AnEmptyTermEndsTheIntersection) {
    fake.answer({byName, "report"}, {"/a/report"});
    EXPECT_EQ(dump("zzqx report"), "TOTAL=0 SHOWN=0\n");
    EXPECT_THAT(fake.calls(), ElementsAre(Args{byName, "zzqx"}));
    EXPECT_THAT(test::debugMessages(), ElementsAre("mdfind 'zzqx' EMPTY reason=exit0", "tok 'zzqx' -> 0 lines"));
}

// The program itself, as a script would run it.
TEST_F(DumpTest, ProgramWritesOnlyToStandardErrorAndExitsZero) {
    const std::string program = test::binDir() + "/quillfind";
    if (::access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "quillfind is not built";
    fake.answer({byName, "report"}, {"/b/report", "/a/report"});
    test::ScopedEnv dumpOn("QUILLFIND_DUMP", "1");
    test::ScopedEnv query("QUILLFIND_QUERY", "report");
    test::ScopedEnv noDisplay("DISPLAY", nullptr);
    test::ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
    const std::string out = scratch.file("out");
    const std::string err = scratch.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::readFile(out), "");
    EXPECT_EQ(test::readFile(err), "/a/report\n/b/report\nTOTAL=2 SHOWN=2\n");
}

}  // namespace
}  // namespace qf
