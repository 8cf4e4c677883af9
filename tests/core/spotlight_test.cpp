#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "core/core_test_support.h"
#include "core/shell.h"
#include "core/spotlight.h"
#include "core/text.h"

namespace qf {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;
using test::Args;
using test::Lines;

Args byName(const std::string& term) {
    return {"-name", term};
}

TEST(SpotlightQueries, CommandLinesAreExact) {
    const std::string tail = "cd\" 2>/dev/null | head -50000";
    const std::pair<std::string, std::string> cases[] = {
        {substringNameQuery("ab"), "mdfind \"kMDItemFSName == '*ab*'" + tail},
        {substringNameQuery("i'm"), "mdfind \"kMDItemFSName == '*i'\\''m*'" + tail},
        {wildcardNameQuery(".pdf"), "mdfind \"kMDItemFSName == '*.pdf'" + tail},
        {wildcardNameQuery("*.pdf"), "mdfind \"kMDItemFSName == '*.pdf'" + tail},
        {wildcardNameQuery("report?.txt"), "mdfind \"kMDItemFSName == 'report?.txt'" + tail},
        {wildcardNameQuery("'*"), "mdfind \"kMDItemFSName == ''\\''*'" + tail},
        {recentFilesQuery(), "mdfind 'kMDItemFSContentChangeDate >= $time.today(-1d)' 2>/dev/null | head -2000"},
        {escapeNameValue("a'b''"), "a'\\''b'\\'''\\''"},
        {substringNameQuery("$`\\\""), "mdfind \"kMDItemFSName == '*\\$\\`\\\\\\\"*'" + tail},
    };
    for (const auto& [built, expected] : cases) EXPECT_EQ(built, expected);
}

TEST(SpotlightQueries, MdfindExecutableFollowsTheEnvironment) {
    {
        test::ScopedEnv chosen("QUILLFIND_MDFIND", "/opt/x/mdfind");
        EXPECT_EQ(mdfindExecutable(), "/opt/x/mdfind");
        EXPECT_EQ(mdfindFolder(), "/opt/x");
    }
    test::ScopedEnv empty("QUILLFIND_MDFIND", "");
    const std::string beside = std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/mdfind";
    EXPECT_EQ(mdfindExecutable(), ::access(beside.c_str(), X_OK) == 0 ? beside : "/usr/bin/mdfind");
}

TEST(SpotlightShell, QueriesReachMdfindAsOneArgumentAndAreCappedByHead) {
    test::FakeMdfind fake;
    // Inside the double quotes the shell passes '\'' on as it stands.
    const Args apostrophe{"kMDItemFSName == '*i'\\''m*'cd"};
    fake.answer(apostrophe, {"/home/u/i'm here.txt"});
    Lines many;
    for (int i = 0; i < 50010; ++i) many.push_back("/d/" + std::to_string(i) + ".pdf");
    fake.answer({"kMDItemFSName == '*.pdf'cd"}, many);
    EXPECT_THAT(runShell(substringNameQuery("i'm")), ElementsAre("/home/u/i'm here.txt"));
    EXPECT_THAT(recentPaths(), IsEmpty());
    EXPECT_EQ(runShell(wildcardNameQuery(".pdf")).size(), 50000u);
    EXPECT_THAT(fake.calls(), ElementsAre(apostrophe, Args{"kMDItemFSContentChangeDate >= $time.today(-1d)"},
                                          Args{"kMDItemFSName == '*.pdf'cd"}));
}

// The shell that runs the name queries expands and runs nothing: mdfind sees
// every byte of the value as typed ("'" in the '\'' form it reads back as "'").
TEST(SpotlightShell, EveryByteOfTheValueReachesMdfindAsTyped) {
    test::FakeMdfind fake;
    test::TempDir dir;
    const std::string ran = dir / "ran";
    const std::pair<std::string, std::string> values[] = {
        {"a$(b)c", ""},
        {"q`w`e", ""},
        {"back\\slash", ""},
        {"$HOME", ""},
        {"it's", "it'\\''s"},
        {"say \"hi\"", ""},
        {"bang!", ""},
        {"tab\there\nnext", ""},
        {"ctl\x01\x1b\x7f", ""},
        {"x\xff\xfe", ""},
        {"\\", ""},
        {"$(touch " + ran + ")", ""},
        {"`touch " + ran + "`", ""},
        {"\"; touch " + ran + "; \"", ""},
        {"\\\"$(touch " + ran + ")", ""},
    };
    // Each answer is keyed on mdfind's exact arguments: a call with any
    // other bytes finds nothing.
    for (const auto& [value, seen] : values) {
        const std::string asSeen = seen.empty() ? value : seen;
        const Args substring{"kMDItemFSName == '*" + asSeen + "*'cd"}, wildcard{"kMDItemFSName == '?" + asSeen + "'cd"};
        fake.answer(substring, {"/found/substring"});
        fake.answer(wildcard, {"/found/wildcard"});
        EXPECT_THAT(runShell(substringNameQuery(value)), ElementsAre("/found/substring")) << value;
        EXPECT_THAT(runShell(wildcardNameQuery("?" + value)), ElementsAre("/found/wildcard")) << value;
    }
    EXPECT_FALSE(test::exists(ran));
}

// The by-name searches of an intersection: each term asked in order, the
// answers intersected, and how each search ended in the debug log.
TEST(SpotlightIntersection, AsksTermsInOrderAndStopsAtTheFirstEmptyAnswer) {
    const struct {
        const char* name;
        std::vector<std::tuple<Args, std::string, std::string>> fixtures;  // args, suffix, content
        Args terms;
        Lines found;
        std::vector<Args> calls;
        Lines log;
    } cases[] = {
        {"two terms",  // duplicates counted as returned
         {{byName("report"), ".out", "/a/report 2024\n/b/report\n/c/2024 report\n/a/report 2024\n"},
          {byName("2024"), ".out", "/a/report 2024\n/c/2024 report\n/d/2024\n"}},
         {"report", "2024"}, {"/a/report 2024", "/c/2024 report"}, {byName("report"), byName("2024")},
         {"tok 'report' -> 4 lines", "tok '2024' -> 3 lines"}},
        {"early stop", {{byName("zzqx"), ".status", "3"}, {byName("report"), ".out", "/a/report\n"}},
         {"zzqx", "report"}, {}, {byName("zzqx")}, {"mdfind 'zzqx' EMPTY reason=exit3", "tok 'zzqx' -> 0 lines"}},
        {"term with itself", {{byName("report"), ".out", "/a/report\n/b/report\n"}}, {"report", "report"},
         {"/a/report", "/b/report"}, {byName("report"), byName("report")},
         {"tok 'report' -> 2 lines", "tok 'report' -> 2 lines"}},
        {"no terms", {}, {}, {}, {}, {}},
        {"term unaltered, empty lines dropped", {{byName("big report"), ".out", "/a/big report\n\n/b/big report\n"}},
         {"big report"}, {"/a/big report", "/b/big report"}, {byName("big report")}, {"tok 'big report' -> 2 lines"}},
        {"killed", {{byName("gone"), ".signal", "TERM"}}, {"gone"}, {}, {byName("gone")},
         {"mdfind 'gone' EMPTY reason=SIG15", "tok 'gone' -> 0 lines"}},
        {"invalid UTF-8", {{byName("bad"), ".out", "/a/ok\n/a/\xFF\n"}}, {"bad"}, {}, {byName("bad")},
         {"mdfind 'bad' EMPTY reason=exit0", "tok 'bad' -> 0 lines"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeMdfind fake;
        for (const auto& [args, suffix, content] : c.fixtures) fake.set(args, suffix, content);
        test::clearDebugLog();
        EXPECT_THAT(mdfindIntersection(c.terms), UnorderedElementsAreArray(c.found));
        EXPECT_THAT(fake.calls(), ElementsAreArray(c.calls));
        EXPECT_THAT(test::debugMessages(), ElementsAreArray(c.log));
    }
}

// The straightforward pipeline the fast one replaces: a string per line, a
// node set per answer, and a full sort by composed form, ties in byte order.
struct Reference {
    std::set<std::string> candidates;
    Lines first;
};

Reference referencePipeline(const std::vector<std::string>& answers, std::size_t limit) {
    Reference r;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        std::set<std::string> found;
        if (isValidUtf8(answers[i])) {
            for (auto& line : splitLines(answers[i])) found.insert(line);
        }
        if (i > 0) std::erase_if(found, [&](const std::string& p) { return !r.candidates.count(p); });
        r.candidates = std::move(found);
        if (r.candidates.empty()) break;
    }
    r.first.assign(r.candidates.begin(), r.candidates.end());
    std::stable_sort(r.first.begin(), r.first.end(),
                     [](const std::string& a, const std::string& b) { return nfc(a) < nfc(b); });
    r.first.resize(std::min(limit, r.first.size()));
    return r;
}

// Random answers built from names that compose, decompose (é, Å, the
// angstrom sign), sort apart from their bytes, repeat, and carry empty
// lines and CR LF pairs.
std::string randomAnswer(std::mt19937& random, const Lines& pool, std::size_t draws) {
    std::string out;
    for (std::size_t i = 0; i < draws; ++i) {
        out += pool[random() % pool.size()];
        out += random() % 50 == 0 ? "\n\n" : "\n";
    }
    return out;
}

TEST(SpotlightIntersection, FastPipelineMatchesTheReferenceOnRandomAnswers) {
    const Lines pieces = {"a", "Z", "report", "e\xcc\x81", "\xc3\xa9", "A\xcc\x8a", "\xe2\x84\xab", "\xc3\x85",
                          "\xe6\x8a\xa5", "_", " ", "\r\n", "\r", "~", "0"};
    std::mt19937 random(20261207);
    Lines pool;
    for (int i = 0; i < 6000; ++i) {
        std::string path = random() % 2 ? "/d" : "/D";
        for (int k = 1 + random() % 2; k > 0; --k) path += "/" + pieces[random() % pieces.size()];
        for (int n = 1 + random() % 4; n > 0; --n) path += pieces[random() % pieces.size()];
        pool.push_back(path);
    }
    const std::vector<std::vector<std::string>> runs = {
        {randomAnswer(random, pool, 9000)},
        {randomAnswer(random, pool, 9000), randomAnswer(random, pool, 12000)},
        {randomAnswer(random, pool, 3000), randomAnswer(random, pool, 3000) + "/bad\xff\n"},
    };
    for (const auto& answers : runs) {
        test::FakeMdfind fake;
        Args terms;
        for (std::size_t i = 0; i < answers.size(); ++i) {
            terms.push_back("t" + std::to_string(i));
            fake.set(byName(terms.back()), ".out", answers[i]);
        }
        const Reference expected = referencePipeline(answers, 2000);
        const PathSet found = mdfindIntersection(terms);
        EXPECT_THAT(found, ElementsAreArray(expected.candidates));
        Lines first;
        for (const PathView* path : firstInPlainOrder(found, 2000)) first.push_back(*path);
        EXPECT_EQ(first, expected.first);
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
