// Asking the index: the shell runner and its children, where mdfind is
// found, what reaches it and how its answers are intersected.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <set>

#include "base/utf8.h"
#include "core/child_process.h"
#include "core/core_test_support.h"
#include "core/shell.h"
#include "core/spotlight.h"
#include "core/text.h"
#include "protocol/helper_programs.h"

namespace qf {
namespace {

using test::Args;
using test::byName;
using test::Lines;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAreArray;

// No child of this process is left behind, not even as a zombie.
void expectNoChildren() {
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

TEST(RunShell, ReturnsNonEmptyOutputLines) {
    const std::pair<std::string, Lines> cases[] = {
        {"printf 'a\\n\\nb\\n'", {"a", "b"}},
        {"printf 'a\\r\\nb\\n'", {"a\r\nb"}},  // CR LF is one character that is not a line end
        {"printf 'a\\rb\\n\\r\\n'", {"a\rb", "\r\n"}},
        {"no-such-command-quillfind", {}},
        {"printf '\\377\\n'", {}},                  // not UTF-8: nothing at all
        {"printf 'ok\\n'; printf '\\377\\n'", {}},  // one bad byte blanks the whole answer
        {"printf 'x\\ny'; exit 3", {"x", "y"}},     // the exit status is not examined
        {"printf '报告\\n'", {"报告"}},
        {"cat", {}},                          // stdin is the null device, never ours
        {"echo err >&2; echo out", {"out"}},  // stderr is discarded
    };
    for (const auto& [cmd, lines] : cases) EXPECT_THAT(runShell(cmd), ElementsAreArray(lines)) << cmd;
    expectNoChildren();
}

TEST(RunShell, SpawnFailLineKeepsFortyCharacters) {
    // The decomposed é is one character of two code points, the family one of five.
    for (const std::string c : {"x", "报", "e\xCC\x81", "👨‍👩‍👧"}) {
        for (const int length : {40, 45}) {
            EXPECT_EQ(spawnFailLine(repeated(c, length), "gone"), "SPAWN_FAIL " + repeated(c, 40) + ": gone\n") << c;
        }
    }
}

TEST(ChildProcess, DroppedWhileRunningLeavesNoZombie) {
    {
        ChildProcess child("/bin/sh", {"-c", "sleep 30"}, {});
        ASSERT_FALSE(child.start());
        EXPECT_TRUE(child.isRunning());
    }
    expectNoChildren();
}

// An empty variable counts as unset: the fallback, not an empty path.
TEST(SpotlightQueries, AnEmptyMdfindVariableCountsAsUnset) {
    test::ScopedEnv empty("QUILLFIND_MDFIND", "");
    EXPECT_THAT(mdfindExecutable(), StartsWith("/"));
}

// Installed, the private helpers sit in libexec/quillfind and the commands
// in bin, and each finds the other; only executable files count. (Beside
// the program, as in build/bin, is how every test program finds its helpers.)
TEST(SpotlightQueries, HelperProgramsInTheHelpersFolderAndInBin) {
    test::TempDir dir;
    const std::string bin = dir / "usr/bin", helpers = dir / "usr/libexec/quillfind";
    const std::pair<std::string, mode_t> programs[] = {
        {bin + "/mdfind", 0755},
        {helpers + "/quillfind-indexd", 0755},
        {helpers + "/ditto", 0644},
    };
    for (const auto& [path, mode] : programs) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        test::writeFile(path, "#!/bin/sh\n");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    }
    std::filesystem::create_directories(bin + "/ditto");  // a folder: not found
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {bin, "quillfind-indexd", helpers + "/quillfind-indexd"},
        {helpers, "mdfind", bin + "/mdfind"},
        {bin, "ditto", ""},
        {"", "mdfind", ""},
    };
    for (const auto& [from, name, expected] : cases)
        EXPECT_EQ(protocol::findHelperProgram(name, nullptr, from), expected) << from << " " << name;
}

// The fake answers only calls with exactly these arguments.
TEST(SpotlightShell, NameQueriesAreCappedByHead) {
    test::FakeMdfind fake;
    Lines many;
    for (int i = 0; i < 50010; ++i) many.push_back("/d/" + std::to_string(i) + ".pdf");
    fake.answer(test::nameQuery("*.pdf"), many);
    EXPECT_EQ(runShell(wildcardNameQuery(".pdf")).size(), 50000u);
}

// A chosen mdfind that cannot be run is a failure to start, never a cue
// for the shell to run another found on PATH (an installed copy).
TEST(SpotlightShell, AChosenMdfindThatIsMissingIsNotReplacedFromPath) {
    test::TempDir other;
    test::writeFile(other / "mdfind", "#!/bin/sh\necho /from/path/mdfind\n");
    ASSERT_EQ(::chmod((other / "mdfind").c_str(), 0755), 0);
    const char* const inherited = std::getenv("PATH");
    test::ScopedEnv path("PATH", other.path() + ":" + (inherited ? inherited : "/usr/bin:/bin"));
    test::ScopedEnv missing("QUILLFIND_MDFIND", "/nonexistent/mdfind");
    ::testing::internal::CaptureStderr();
    EXPECT_THAT(runShell(recentFilesQuery()), IsEmpty());
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), StartsWith("SPAWN_FAIL mdfind 'kMDItemFSContentChangeDate"));
}

// Since the start of yesterday, at most 2000 paths.
TEST(SpotlightShell, RecentFilesQueryAsksForTheLastTwoDaysAndKeepsTwoThousand) {
    test::FakeMdfind fake;
    Lines paths;
    for (int i = 0; i <= 2000; ++i) paths.push_back("/recent/" + std::to_string(i));
    fake.answer({"kMDItemFSContentChangeDate >= $time.today(-1d)"}, paths);
    paths.pop_back();
    EXPECT_THAT(runShell(recentFilesQuery()), ElementsAreArray(paths));
}

// The shell that runs the name queries expands and runs nothing: mdfind sees
// every byte of the value as typed. The model's end-to-end test sends "$",
// "`", "\\" and "'" through the real index; these are the double quotes, a
// backquote that would run a command, and the bytes no file name holds.
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
        fake.answer(test::nameQuery("*" + value + "*"), {"/found/substring"});
        fake.answer(test::nameQuery("?" + value), {"/found/wildcard"});
        EXPECT_THAT(runShell(substringNameQuery(value)), ElementsAre("/found/substring")) << value;
        EXPECT_THAT(runShell(wildcardNameQuery("?" + value)), ElementsAre("/found/wildcard")) << value;
    }
    EXPECT_FALSE(test::exists(ran));
}

// The by-name searches of an intersection: each term asked in order, the
// answers intersected, and how each search ended in the debug log. The log
// names every term asked, and the fake answers only the exact arguments, so
// the log and the result show the calls.
TEST(SpotlightIntersection, AsksTermsInOrderAndStopsAtTheFirstEmptyAnswer) {
    const struct {
        const char* name;
        std::vector<std::tuple<Args, std::string, std::string>> fixtures;  // args, suffix, content
        Args terms;
        Lines found;
        Lines log;
    } cases[] = {
        // Duplicates counted as returned, empty lines dropped, the term as given.
        {"two terms",
         {{byName("big report"), ".out", "/a/big 2024\n/b/big\n\n/c/2024 big\n/a/big 2024\n"},
          {byName("2024"), ".out", "/a/big 2024\n/c/2024 big\n/d/2024\n"}},
         {"big report", "2024"},
         {"/a/big 2024", "/c/2024 big"},
         {"tok 'big report' -> 4 lines", "tok '2024' -> 3 lines"}},
        {"early stop",
         {{byName("zzqx"), ".status", "3"}, {byName("report"), ".out", "/a/report\n"}},
         {"zzqx", "report"},
         {},
         {"mdfind 'zzqx' EMPTY reason=exit3", "tok 'zzqx' -> 0 lines"}},
        // The second term is asked once the first answer shows a line; a bad
        // byte further on voids that answer, and the second is not taken.
        {"first answer voided late",
         {{byName("t0"), ".out", "/a/x\n" + std::string(300000, 'y') + "\xff\n"}, {byName("t1"), ".out", "/a/x\n"}},
         {"t0", "t1"},
         {},
         {"mdfind 't0' EMPTY reason=exit0", "tok 't0' -> 0 lines"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeMdfind fake;
        for (const auto& [args, suffix, content] : c.fixtures) fake.set(args, suffix, content);
        test::clearDebugLog();
        EXPECT_THAT(mdfindIntersection(c.terms), UnorderedElementsAreArray(c.found));
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
    Lines pool;
    for (int i = 0; i < 6000; ++i) {
        std::string path = random() % 2 ? "/d" : "/D";
        for (int k = 1 + random() % 2; k > 0; --k) path += "/" + pick(pieces);
        for (int n = 1 + random() % 4; n > 0; --n) path += pick(pieces);
        pool.push_back(path);
    }
    const auto answer = [&](int draws) {
        std::string out;
        for (int i = 0; i < draws; ++i) out += pick(pool) + (random() % 50 == 0 ? "\n\n" : "\n");
        return out;
    };
    // The index sends its answers in byte order; one repeat makes an answer
    // look ordered but not be a set.
    const auto inOrder = [&](int draws, bool repeat) {
        std::set<std::string> lines;
        // A line ending in CR would join the next one.
        for (int i = 0; i < draws; ++i)
            if (const std::string line = pick(pool); line.back() != '\r') lines.insert(line);
        std::string out;
        for (const auto& line : lines) out += line + (repeat && out.empty() ? "\n" + line + "\n" : "\n");
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
            for (auto& line : isValidUtf8(answers[i]) ? splitLines(answers[i]) : Lines{}) {
                if (i == 0 || expected.count(line)) found.insert(line);
            }
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

TEST(SpotlightIntersection, StartFailureIsLoggedNotPrinted) {
    test::ScopedEnv missing("QUILLFIND_MDFIND", "/nonexistent/mdfind");
    test::clearDebugLog();
    ::testing::internal::CaptureStderr();
    EXPECT_THAT(mdfindIntersection({"report", "2024"}), IsEmpty());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_THAT(test::debugMessages(),
                ElementsAre("SPAWN_FAIL 'report': No such file or directory", "tok 'report' -> 0 lines"));
}

}  // namespace
}  // namespace qf
