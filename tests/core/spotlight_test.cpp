#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include "core/core_test_support.h"
#include "core/shell.h"
#include "core/spotlight.h"

namespace qf {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using Args = std::vector<std::string>;

class SpotlightTest : public ::testing::Test {
protected:
    void SetUp() override { test::clearDebugLog(); }
    test::FakeMdfind fake;
};

TEST(SpotlightQueries, CommandLinesAreExact) {
    const std::pair<std::string, std::string> cases[] = {
        {substringNameQuery("ab"), "mdfind \"kMDItemFSName == '*ab*'cd\" 2>/dev/null | head -50000"},
        {substringNameQuery("i'm"), "mdfind \"kMDItemFSName == '*i'\\''m*'cd\" 2>/dev/null | head -50000"},
        {wildcardNameQuery(".pdf"), "mdfind \"kMDItemFSName == '*.pdf'cd\" 2>/dev/null | head -50000"},
        {wildcardNameQuery("*.pdf"), "mdfind \"kMDItemFSName == '*.pdf'cd\" 2>/dev/null | head -50000"},
        {wildcardNameQuery("report?.txt"), "mdfind \"kMDItemFSName == 'report?.txt'cd\" 2>/dev/null | head -50000"},
        {wildcardNameQuery("'*"), "mdfind \"kMDItemFSName == ''\\''*'cd\" 2>/dev/null | head -50000"},
        {recentFilesQuery(), "mdfind 'kMDItemFSContentChangeDate >= $time.today(-1d)' 2>/dev/null | head -2000"},
        {escapeQuotes("a'b''"), "a'\\''b'\\'''\\''"},
    };
    for (const auto& [built, expected] : cases) EXPECT_EQ(built, expected);
}

TEST(SpotlightQueries, MdfindExecutableFollowsTheEnvironment) {
    {
        test::ScopedEnv chosen("QUILLFIND_MDFIND", "/opt/x/mdfind");
        EXPECT_EQ(mdfindExecutable(), "/opt/x/mdfind");
        EXPECT_EQ(mdfindFolder(), "/opt/x");
    }
    test::ScopedEnv unset("QUILLFIND_MDFIND", nullptr);
    test::ScopedEnv empty("QUILLFIND_MDFIND", "");
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string beside(self);
    beside = beside.substr(0, beside.rfind('/')) + "/mdfind";
    EXPECT_EQ(mdfindExecutable(), ::access(beside.c_str(), X_OK) == 0 ? beside : "/usr/bin/mdfind");
}

TEST_F(SpotlightTest, QueriesThroughTheShellReachMdfindAsOneArgument) {
    // Inside the double quotes the shell passes '\'' on as it stands.
    const std::string value = "kMDItemFSName == '*i'\\''m*'cd";
    fake.answer({value}, {"/home/u/i'm here.txt"});
    EXPECT_THAT(runShell(substringNameQuery("i'm")), ElementsAre("/home/u/i'm here.txt"));
    EXPECT_THAT(recentPaths(), IsEmpty());
    EXPECT_THAT(fake.calls(), ElementsAre(Args{value},
                                          Args{"kMDItemFSContentChangeDate >= $time.today(-1d)"}));
}

TEST_F(SpotlightTest, NameQueryOutputIsCappedByHead) {
    std::string many;
    for (int i = 0; i < 50010; ++i) many += "/d/" + std::to_string(i) + ".pdf\n";
    fake.answerRaw({"kMDItemFSName == '*.pdf'cd"}, many);
    EXPECT_EQ(runShell(wildcardNameQuery(".pdf")).size(), 50000u);
}

TEST_F(SpotlightTest, NameSearchPassesTheTermUnaltered) {
    fake.answer({"-name", "big report"}, {"/a/big report.txt", "", "/b/big report"});
    EXPECT_THAT(mdfindNameCLI("big report"), ElementsAre("/a/big report.txt", "/b/big report"));
    EXPECT_THAT(mdfindNameCLI("it's"), IsEmpty());
    EXPECT_THAT(fake.calls(), ElementsAre(Args{"-name", "big report"}, Args{"-name", "it's"}));
}

TEST_F(SpotlightTest, IntersectionAsksEachTermInOrder) {
    fake.answer({"-name", "report"}, {"/a/report 2024", "/b/report", "/c/2024 report", "/a/report 2024"});
    fake.answer({"-name", "2024"}, {"/a/report 2024", "/c/2024 report", "/d/2024"});
    EXPECT_THAT(mdfindIntersection({"report", "2024"}), UnorderedElementsAre("/a/report 2024", "/c/2024 report"));
    EXPECT_THAT(fake.calls(), ElementsAre(Args{"-name", "report"}, Args{"-name", "2024"}));
    // Lines are counted as returned, duplicates included.
    EXPECT_THAT(test::debugMessages(), ElementsAre("tok 'report' -> 4 lines", "tok '2024' -> 3 lines"));
}

TEST_F(SpotlightTest, IntersectionStopsAtTheFirstEmptyAnswer) {
    fake.exitStatus({"-name", "zzqx"}, 3);
    fake.answer({"-name", "report"}, {"/a/report"});
    EXPECT_THAT(mdfindIntersection({"zzqx", "report"}), IsEmpty());
    EXPECT_THAT(fake.calls(), ElementsAre(Args{"-name", "zzqx"}));
    EXPECT_THAT(test::debugMessages(), ElementsAre("mdfind 'zzqx' EMPTY reason=exit3", "tok 'zzqx' -> 0 lines"));
}

TEST_F(SpotlightTest, IntersectionOfATermWithItself) {
    fake.answer({"-name", "report"}, {"/a/report", "/b/report"});
    EXPECT_THAT(mdfindIntersection({"report", "report"}), UnorderedElementsAre("/a/report", "/b/report"));
    EXPECT_EQ(fake.calls().size(), 2u);
    EXPECT_THAT(mdfindIntersection({}), IsEmpty());
    EXPECT_EQ(fake.calls().size(), 2u);
}

TEST_F(SpotlightTest, EmptyAnswerLogsHowTheSearchEnded) {
    fake.dieBy({"-name", "gone"}, "TERM");
    EXPECT_THAT(mdfindNameCLI("gone"), IsEmpty());
    EXPECT_THAT(mdfindNameCLI("none"), IsEmpty());
    EXPECT_THAT(test::debugMessages(), ElementsAre("mdfind 'gone' EMPTY reason=SIG15", "mdfind 'none' EMPTY reason=exit0"));
}

TEST_F(SpotlightTest, StartFailureIsLoggedNotPrinted) {
    test::ScopedEnv missing("QUILLFIND_MDFIND", "/nonexistent/mdfind");
    EXPECT_THAT(mdfindIntersection({"report", "2024"}), IsEmpty());
    EXPECT_THAT(test::debugMessages(),
                ElementsAre("SPAWN_FAIL 'report': No such file or directory", "tok 'report' -> 0 lines"));
}

}  // namespace
}  // namespace qf
