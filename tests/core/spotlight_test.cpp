// Asking the index: the shell runner and its children, where mdfind is
// found, what reaches it, how its answers are intersected, and what dump
// mode writes of them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <set>

#include "base/utf8.h"
#include "core/child_process.h"
#include "core/core_test_support.h"
#include "core/dump.h"
#include "core/shell.h"
#include "core/spotlight.h"
#include "core/text.h"

namespace qf {
namespace {

using test::Args;
using test::byName;
using test::Lines;
using test::nameQuery;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StartsWith;

// Only UTF-8 answers count, line by line; the exit status is not examined,
// standard error is discarded and standard input is the null device. No
// child is left behind, not even as a zombie, nor one dropped while running.
TEST(RunShell, ReturnsNonEmptyOutputLinesAndLeavesNoChild) {
    const std::pair<std::string, Lines> cases[] = {
        {"printf 'a\\n\\nb\\n'", {"a", "b"}},
        {"printf 'a\\r\\nb\\n'", {"a\r\nb"}},  // CR LF is one character that is not a line end
        {"printf 'a\\rb\\n\\r\\n'", {"a\rb", "\r\n"}},
        {"printf 'ok\\n'; printf '\\377\\n'", {}},  // one bad byte blanks the whole answer
        {"printf 'x\\ny'; exit 3", {"x", "y"}},
        {"cat; echo err >&2; echo 报告", {"报告"}},
    };
    for (const auto& [cmd, lines] : cases) EXPECT_THAT(runShell(cmd), ElementsAreArray(lines)) << cmd;
    {
        ChildProcess child("/bin/sh", {"-c", "sleep 30"}, {});
        ASSERT_FALSE(child.start());
    }
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// The decomposed é is one character of two code points, the family one of five.
TEST(RunShell, SpawnFailLineKeepsFortyCharacters) {
    for (const std::string c : {"x", "报", "e\xCC\x81", "👨‍👩‍👧"}) {
        std::string forty, more;
        for (int i = 0; i < 45; ++i) (i < 40 ? forty : more) += c;
        EXPECT_EQ(spawnFailLine(forty + more, "gone"), "SPAWN_FAIL " + forty + ": gone\n") << c;
        EXPECT_EQ(spawnFailLine(forty, "gone"), "SPAWN_FAIL " + forty + ": gone\n") << c;
    }
}

// Name queries keep 50000 paths; recent files are those since the start
// of yesterday, at most 2000. The fake answers only these exact arguments.
TEST(SpotlightShell, QueriesAreCappedByHead) {
    test::FakeMdfind fake;
    Lines many;
    for (int i = 0; i < 50010; ++i) many.push_back("/d/" + std::to_string(i) + ".pdf");
    fake.answer(nameQuery("*.pdf"), many);
    EXPECT_EQ(runShell(wildcardNameQuery(".pdf")).size(), 50000u);
    many.resize(2001);
    fake.answer(test::kRecentCall, many);
    many.pop_back();
    EXPECT_THAT(runShell(recentFilesQuery()), ElementsAreArray(many));
}

// A chosen mdfind that cannot be run is a failure to start, never a cue
// for the shell to run another found on PATH (an installed copy). An empty
// variable counts as unset: the fallback, not an empty path.
TEST(SpotlightShell, AChosenMdfindThatIsMissingIsNotReplacedFromPath) {
    test::TempDir other;
    test::writeFile(other / "mdfind", "#!/bin/sh\necho /from/path/mdfind\n");
    ASSERT_EQ(::chmod((other / "mdfind").c_str(), 0755), 0);
    const char* const inherited = std::getenv("PATH");
    test::ScopedEnv path("PATH", other.path() + ":" + (inherited ? inherited : "/usr/bin:/bin"));
    test::ScopedEnv missing("QUILLFIND_MDFIND", "/nonexistent/mdfind");
    ::testing::internal::CaptureStderr();
    EXPECT_THAT(runShell(recentFilesQuery()), ::testing::IsEmpty());
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), StartsWith("SPAWN_FAIL mdfind 'kMDItemFSContentChangeDate"));
    test::ScopedEnv empty("QUILLFIND_MDFIND", "");
    EXPECT_THAT(mdfindExecutable(), StartsWith("/"));
}

// The shell that runs the name queries expands and runs nothing: mdfind sees
// every byte of the value as typed (quotes, "$(", backquotes, bytes no file
// name holds); the model's end-to-end test sends more through the index.
TEST(SpotlightShell, EveryByteOfTheValueReachesMdfindAsTyped) {
    test::FakeMdfind fake;
    test::TempDir dir;
    const std::string ran = dir / "ran";
    const std::string values[] = {
        "say \"hi\"",          "tab\there\nnext",           "ctl\x01\x1b\x7f",
        "x\xff\xfe",           "\"; touch " + ran + "; \"", "\\\"$(touch " + ran + ")",
        "`touch " + ran + "`",
    };
    // Each answer is keyed on mdfind's exact arguments: a call with any
    // other bytes finds nothing.
    for (const auto& value : values) {
        fake.answer(nameQuery("*" + value + "*"), {"/found/substring"});
        fake.answer(nameQuery("?" + value), {"/found/wildcard"});
        EXPECT_THAT(runShell(substringNameQuery(value)), ElementsAre("/found/substring")) << value;
        EXPECT_THAT(runShell(wildcardNameQuery("?" + value)), ElementsAre("/found/wildcard")) << value;
    }
    EXPECT_FALSE(test::exists(ran));
}

// The by-name searches of an intersection: each term asked in order, the
// answers intersected, and how each search ended in the debug log (never on
// standard error), which with the result shows the exact calls.
TEST(SpotlightIntersection, AsksTermsInOrderAndStopsAtTheFirstEmptyAnswer) {
    const struct {
        std::vector<std::tuple<Args, std::string, std::string>> fixtures;  // args, suffix, content; none: no mdfind
        Args terms;
        Lines found;
        Lines log;
    } cases[] = {
        // Duplicates counted as returned, empty lines dropped, the term as given.
        {{{byName("big report"), ".out", "/a/big 2024\n/b/big\n\n/c/2024 big\n/a/big 2024\n"},
          {byName("2024"), ".out", "/a/big 2024\n/c/2024 big\n/d/2024\n"}},
         {"big report", "2024"},
         {"/a/big 2024", "/c/2024 big"},
         {"tok 'big report' -> 4 lines", "tok '2024' -> 3 lines"}},
        {{{byName("zzqx"), ".status", "3"}, {byName("report"), ".out", "/a/report\n"}},
         {"zzqx", "report"},
         {},
         {"mdfind 'zzqx' EMPTY reason=exit3", "tok 'zzqx' -> 0 lines"}},
        // The second term is asked once the first answer shows a line; a bad
        // byte further on voids that answer, and the second is not taken.
        {{{byName("t0"), ".out", "/a/x\n" + std::string(300000, 'y') + "\xff\n"}, {byName("t1"), ".out", "/a/x\n"}},
         {"t0", "t1"},
         {},
         {"mdfind 't0' EMPTY reason=exit0", "tok 't0' -> 0 lines"}},
        {{}, {"report", "2024"}, {}, {"SPAWN_FAIL 'report': No such file or directory", "tok 'report' -> 0 lines"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.terms[0]);
        test::FakeMdfind fake;
        for (const auto& [args, suffix, content] : c.fixtures) fake.set(args, suffix, content);
        test::ScopedEnv mdfind("QUILLFIND_MDFIND",
                               c.fixtures.empty() ? "/nonexistent/mdfind" : std::getenv("QUILLFIND_MDFIND"));
        test::clearDebugLog();
        ::testing::internal::CaptureStderr();
        EXPECT_THAT(mdfindIntersection(c.terms), ::testing::UnorderedElementsAreArray(c.found));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_THAT(test::debugMessages(), ElementsAreArray(c.log));
    }
}

// Random answers of names that compose, decompose (é, Å, the angstrom sign),
// sort apart from their bytes, repeat, and carry empty lines and CR LF pairs,
// against the straightforward pipeline the fast one replaces: a node set per
// answer and a full sort by composed form, ties in byte order.
TEST(SpotlightIntersection, FastPipelineMatchesTheReferenceOnRandomAnswers) {
    const Lines pieces = {
        "a", "Z", "report", "e\xcc\x81", "\xc3\xa9", "A\xcc\x8a", "\xe2\x84\xab", "\xc3\x85", "\xe6\x8a\xa5",
        "_", " ", "\r\n",   "\r",        "~",        "0"};
    std::mt19937 random(20261207);
    const auto pick = [&](const Lines& from) { return from[random() % from.size()]; };
    // Few enough names that the answers overlap.
    const auto path = [&] {
        std::string out = random() % 2 ? "/d/" : "/D/";
        for (int n = 1 + random() % 3; n > 0; --n) out += pick(pieces);
        return out;
    };
    const auto answer = [&](int draws) {
        std::string out;
        for (int i = 0; i < draws; ++i) out += path() + (random() % 50 == 0 ? "\n\n" : "\n");
        return out;
    };
    // The index sends its answers in byte order; one repeat makes an answer
    // look ordered but not be a set.
    const auto inOrder = [&](int draws, bool repeat) {
        std::set<std::string> lines;
        // A line ending in CR would join the next one.
        for (int i = 0; i < draws; ++i)
            if (const std::string line = path(); line.back() != '\r') lines.insert(line);
        std::string out = repeat ? *lines.begin() + "\n" : "";
        for (const auto& line : lines) out += line + "\n";
        return out;
    };
    const std::vector<Lines> runs = {{answer(9000)},
                                     {answer(9000), answer(12000)},
                                     {answer(3000), answer(3000) + "/bad\xff\n"},
                                     {inOrder(9000, true)},
                                     {inOrder(9000, false), inOrder(9000, false)}};
    for (const auto& answers : runs) {
        test::FakeMdfind fake;
        Args terms;
        std::set<std::string> expected;
        for (std::size_t i = 0; i < answers.size(); ++i) {
            terms.push_back("t" + std::to_string(i));
            fake.set(byName(terms.back()), ".out", answers[i]);
            std::set<std::string> found;
            for (auto& line : isValidUtf8(answers[i]) ? splitLines(answers[i]) : Lines{})
                if (i == 0 || expected.count(line)) found.insert(line);
            expected = std::move(found);
        }
        const PathSet found = mdfindIntersection(terms);
        EXPECT_THAT(found, ElementsAreArray(expected));
        Lines first(expected.begin(), expected.end()), fast;
        std::stable_sort(first.begin(), first.end(), [](const auto& a, const auto& b) { return nfc(a) < nfc(b); });
        first.resize(std::min<std::size_t>(2000, first.size()));
        for (const PathView* path : firstInPlainOrder(found, 2000)) fast.push_back(*path);
        EXPECT_EQ(fast, first);
    }
}

Lines numbered(const std::string& prefix, int count, Lines tail = {}) {
    Lines out;
    for (int i = 0; i < count; ++i) out.push_back(prefix + std::to_string(1000 + i).substr(1));  // 000, 001, ...
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TEST(DumpMode, OnlyExactlyOneSelectsIt) {
    const std::pair<const char*, bool> cases[] = {{"1", true}, {"10", false}, {"true", false},
                                                  {"", false}, {"1 ", false}, {nullptr, false}};
    for (const auto& [value, selected] : cases)
        EXPECT_EQ(dumpModeSelected(value), selected) << (value ? value : "(unset)");
}

// What dump mode writes for one query: its standard-error lines and how
// many mdfind calls it makes. The fake answers only the exact arguments of
// the row's one call, so the answer shown proves them. The program's own
// wiring is run through the real service by the index tests' dump case.
TEST(Dump, WritesTheFirstTwentyMatchesAndTheCounts) {
    const Lines many = numbered("/docs/report-", 30, {"/Docs/zzz"});  // upper case sorts first
    Lines firstTwenty = numbered("/docs/report-", 19, {"TOTAL=31 SHOWN=20"});
    firstTwenty.insert(firstTwenty.begin(), "/Docs/zzz");
    const Lines mixed = numbered("/m/report", 97, {"/m/report-ab", "/m/report-AB", "/m/x-ab-report"});
    const struct {
        std::string query;
        Args call;
        Lines answer;
        Lines written;
    } cases[] = {
        // No tokens: nothing at all, not even the counts.
        {" \"\" \"\" ", {}, {}, {}},
        {"report", byName("report"), Lines(many.rbegin(), many.rend()), firstTwenty},
        // TOTAL counts candidates; short terms filter them, case ignored, before the cap.
        {"report ab", byName("report"), mixed, {"/m/report-AB", "/m/report-ab", "/m/x-ab-report", "TOTAL=100 SHOWN=3"}},
        {"a", {}, {}, {"TOTAL=0 SHOWN=0"}},
        // An index term, a suffix and a short term together.
        {"报 ab .Txt", byName("报"), {"/r/报ab.pdf", "/r/报.txt", "/r/报AB.TXT"}, {"/r/报AB.TXT", "TOTAL=3 SHOWN=1"}},
        {"*.PDF", nameQuery("*.pdf"), {"/p/a.PDF", "/p/a.pdf.txt", "/p/c.pdfx"}, {"/p/a.PDF", "TOTAL=3 SHOWN=1"}},
        // The query text reaches the index as typed, reduced to its last path
        // segment; quoting is guarded by the shell's every-byte test.
        {"docs/report", byName("report"), {"/x/report"}, {"/x/report", "TOTAL=1 SHOWN=1"}},
        {"report\t", byName("report\t"), {"/x/report\t1"}, {"/x/report\t1", "TOTAL=1 SHOWN=1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.query));
        test::FakeMdfind fake;
        if (!c.call.empty()) fake.answer(c.call, c.answer);
        ::testing::internal::CaptureStderr();
        writeDump(c.query, STDERR_FILENO);
        const std::string written = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(written.empty() || written.back() == '\n');
        EXPECT_THAT(test::linesOf(written), ElementsAreArray(c.written));
        EXPECT_EQ(fake.calls().size(), c.call.empty() ? 0u : 1u);
    }
}

}  // namespace
}  // namespace qf
