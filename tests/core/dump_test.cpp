#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "core/core_test_support.h"
#include "core/dump.h"

namespace qf {
namespace {

using test::Args;
using test::byName;
using test::Lines;
using test::nameQuery;
using ::testing::ElementsAreArray;

Lines numbered(const std::string& prefix, int count) {
    Lines out;
    for (int i = 0; i < count; ++i)
        out.push_back(prefix + (i < 10 ? "0" : "") + (i < 100 ? "0" : "") + std::to_string(i));
    return out;
}

Lines concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The debug lines of one by-name call that found nothing.
Lines emptyTerm(const std::string& term) {
    return {"mdfind '" + term + "' EMPTY reason=exit0", "tok '" + term + "' -> 0 lines"};
}

TEST(DumpMode, OnlyExactlyOneSelectsIt) {
    const std::pair<const char*, bool> cases[] = {{"1", true}, {"true", false}, {"0", false},
                                                  {"", false}, {"1 ", false},   {nullptr, false}};
    for (const auto& [value, selected] : cases)
        EXPECT_EQ(dumpModeSelected(value), selected) << (value ? value : "(unset)");
}

// What dump mode writes for one query: its standard-error lines, the exact
// mdfind calls and the debug log lines.
TEST(Dump, WritesTheFirstTwentyMatchesAndTheCounts) {
    const Lines thirty = numbered("/docs/report-", 30);
    Lines reversed = concat(thirty, {"/Docs/zzz"});  // upper case sorts first
    std::reverse(reversed.begin(), reversed.end());
    const Lines mixed = concat(numbered("/m/report", 97), {"/m/report-ab1", "/m/report-AB2", "/m/x-ab-report"});
    const struct {
        std::string query;
        std::map<Args, Lines> answers;
        Lines written;
        std::vector<Args> calls;
        Lines log;
    } cases[] = {
        // No query or no tokens: nothing at all, not even the counts.
        {"", {}, {}, {}, {}},
        {"   ", {}, {}, {}, {}},
        {" \"\" \"\" ", {}, {}, {}, {}},
        {"report",
         {{byName("report"), reversed}},
         concat(concat({"/Docs/zzz"}, Lines(thirty.begin(), thirty.begin() + 19)), {"TOTAL=31 SHOWN=20"}),
         {byName("report")},
         {"tok 'report' -> 31 lines"}},
        // TOTAL counts candidates; short terms filter them, case ignored, before the cap.
        {"report ab",
         {{byName("report"), mixed}},
         {"/m/report-AB2", "/m/report-ab1", "/m/x-ab-report", "TOTAL=100 SHOWN=3"},
         {byName("report")},
         {"tok 'report' -> 100 lines"}},
        {"ab",
         {{nameQuery("*ab*"), {"/x/lab", "/x/Abby"}}},
         {"/x/Abby", "/x/lab", "TOTAL=2 SHOWN=2"},
         {nameQuery("*ab*")},
         {}},
        {"a", {}, {"TOTAL=0 SHOWN=0"}, {}, {}},
        // An index term, a suffix and a short term together.
        {"报 ab .Txt",
         {{byName("报"), {"/r/报ab.pdf", "/r/报.txt", "/r/报AB.TXT"}}},
         {"/r/报AB.TXT", "TOTAL=3 SHOWN=1"},
         {byName("报")},
         {"tok '报' -> 3 lines"}},
        {"*.PDF",
         {{nameQuery("*.pdf"), {"/p/a.PDF", "/p/a.pdf.txt", "/p/b.pdf", "/p/c.pdfx"}}},
         {"/p/a.PDF", "/p/b.pdf", "TOTAL=4 SHOWN=2"},
         {nameQuery("*.pdf")},
         {}},
        {"ab .pdf",
         {{nameQuery("*.pdf"), {"/p/lab.pdf", "/p/a.pdf", "/p/Abc.PDF", "/p/ab.txt"}}},
         {"/p/Abc.PDF", "/p/lab.pdf", "TOTAL=4 SHOWN=2"},
         {nameQuery("*.pdf")},
         {}},
        // The query text reaches the index as typed, reduced to its last path segment.
        {"docs/report", {}, {"TOTAL=0 SHOWN=0"}, {byName("report")}, emptyTerm("report")},
        {"report\t", {}, {"TOTAL=0 SHOWN=0"}, {byName("report\t")}, emptyTerm("report\t")},
        {"it's", {}, {"TOTAL=0 SHOWN=0"}, {byName("it's")}, emptyTerm("it's")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.query));
        test::TempDir scratch;
        test::FakeMdfind fake;
        for (const auto& [args, lines] : c.answers) fake.answer(args, lines);
        test::clearDebugLog();
        const int fd = ::open(scratch.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        writeDump(c.query, fd);
        ::close(fd);
        const std::string written = test::readFile(scratch.file("stderr"));
        EXPECT_TRUE(written.empty() || written.back() == '\n');
        EXPECT_THAT(test::linesOf(written), ElementsAreArray(c.written));
        EXPECT_THAT(fake.calls(), ElementsAreArray(c.calls));
        EXPECT_THAT(test::debugMessages(), ElementsAreArray(c.log));
    }
}

// The program itself, as a script would run it: only standard error, status 0.
TEST(Dump, ProgramAnswersOnStandardErrorAndExitsZero) {
    const std::string program = test::binDir() + "/quillfind";
    ASSERT_EQ(::access(program.c_str(), X_OK), 0) << program << " is not built";
    test::TempDir scratch;
    test::FakeMdfind fake;
    fake.answer(byName("report"), {"/b/report-ab", "/a/report", "/a/AB report"});
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QUILLFIND_DUMP=1 QUILLFIND_QUERY='report ab' " +
                                program + " >" + scratch.file("out") + " 2>" + scratch.file("err") + " </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::readFile(scratch.file("out")), "");
    EXPECT_EQ(test::readFile(scratch.file("err")), "/a/AB report\n/b/report-ab\nTOTAL=3 SHOWN=2\n");
}

}  // namespace
}  // namespace qf
