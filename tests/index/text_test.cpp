// The texts the index reads and writes: names as folded, matched by glob
// and shown on a terminal; queries, mdfind's arguments, requests on the
// socket and the settings file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>

#include "common/test_support.h"
#include "index/client/printable.h"
#include "index/client/query_parser.h"
#include "index/client/wire.h"
#include "index/service/index_settings.h"
#include "index/store/fold.h"
#include "index/store/glob.h"
#include "mdfind/mdfind_arguments.h"

namespace qf::index {
namespace {

constexpr FoldMode kBoth{true, true}, kCase{true, false}, kDia{false, true}, kExact{false, false};

TEST(FoldTest, FoldsCaseDiacriticsAndWidth) {
    const std::tuple<const char*, FoldMode, const char*> cases[] = {
        {"RÉPORT", kBoth, "report"},
        {"Re\xCC\x81port", kBoth, "report"},  // decomposed é
        {"RÉPORT", kCase, "réport"},
        {"Re\xCC\x81port", kCase, "réport"},  // composed after folding
        {"RÉPORT", kDia, "REPORT"},
        {"Re\xCC\x81port", kExact, "Réport"},  // canonical equivalence
        {"Straße", kBoth, "strasse"},
        {"Ａｂｃ", kBoth, "abc"},  // full-width letters
        {"ﬁle", kBoth, "file"},    // ligature
        {"ΣΊΣΥΦΟΣ", kBoth, "σισυφοσ"},
        {"İstanbul", kBoth, "istanbul"},
        {"ｶﾞｲﾄﾞ", kBoth, "カイト"},          // half-width kana, voicing dropped
        {"a\xFF\u00C9", kBoth, "a\uFFFDe"},  // invalid UTF-8 becomes U+FFFD
        {"i'm -x", kBoth, "i'm -x"},
    };
    for (const auto& [input, mode, expected] : cases) EXPECT_EQ(foldName(input, mode), expected) << input;
    // Every ASCII letter, and the neighbours of the two ranges.
    EXPECT_EQ(foldName("@ABCDEFGHIJKLMNOPQRSTUVWXYZ[`{", kCase), "@abcdefghijklmnopqrstuvwxyz[`{");
}

// The crawl's shortcut for Latin letters and ideographs must fold exactly
// as ICU does: every letter it takes, and the characters just past its
// ranges, alone and between neighbours that could compose, in every mode.
TEST(FoldTest, LetterShortcutAgreesWithIcu) {
    auto utf8 = [](char32_t c) {
        auto byte = [](char32_t b) { return static_cast<char>(b); };
        if (c < 0x80) return std::string(1, byte(c));
        if (c < 0x800) return std::string{byte(0xC0 | (c >> 6)), byte(0x80 | (c & 0x3F))};
        return std::string{byte(0xE0 | (c >> 12)), byte(0x80 | ((c >> 6) & 0x3F)), byte(0x80 | (c & 0x3F))};
    };
    std::vector<char32_t> letters = {0xBF, 0x250, 0x33FF, 0x4DC0, 0x4DFF, 0xA000, 0x3000, 0x301, 0xFF21};
    for (char32_t c = 0xC0; c <= 0x24F; ++c) letters.push_back(c);
    for (char32_t c : {0x3400, 0x4DBF, 0x4E00, 0x62A5, 0x544A, 0x9FFF}) letters.push_back(c);
    const char* neighbours[] = {"", "E", "e", "\xC3\x89" /* É */, "\xCC\x81" /* combining acute */, "\xE6\x8A\xA5"};
    for (FoldMode mode : {kBoth, kCase, kDia, kExact})
        for (char32_t c : letters)
            for (const char* before : neighbours)
                for (const char* after : neighbours) {
                    const std::string name = std::string(before) + utf8(c) + after + "X";
                    ASSERT_EQ(foldName(name, mode), foldNameWithIcu(name, mode))
                        << std::hex << static_cast<uint32_t>(c) << " " << before;
                }
    // Cut or stray bytes inside the ranges are not letters.
    for (const char* bad : {"a\xC3", "\xE6\x8A", "\xE6\x8Ax", "\xC1\x81", "\xE0\x83\x80"})
        EXPECT_EQ(foldName(bad, kBoth), foldNameWithIcu(bad, kBoth)) << bad;
}

TEST(GlobTest, MatchesWholeNamesByCharacter) {
    const std::tuple<const char*, const char*, FoldMode, bool> cases[] = {
        {"*.pdf", "Report.PDF", kBoth, true},
        {"*.pdf", "Report.PDF", kExact, false},
        {"*.pdf", "report.pdf.txt", kBoth, false},  // whole name
        {"report", "my report", kBoth, false},      // no implicit *
        {"*report*", "my Réport 1", kCase, false},  // diacritics count
        {"report?.txt", "report1.txt", kBoth, true},
        {"report?.txt", "report.txt", kBoth, false},
        {"report?.txt", "report", kBoth, false},  // nothing left for "?"
        {"?", "报", kBoth, true},                 // one character, three bytes
        {"??", "报", kBoth, false},
        {"a?c", "ae\u0301c", kExact, true},                       // é composed by NFC
        {"?", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", kExact, true},  // emoji + skin tone
        {"?", "\r\n", kExact, true},                              // CR LF is one character
        {"ab*ba", "aba", kExact, false},                          // the two ends may not overlap
        {"ab*ba", "abba", kExact, true},
        {"*", "", kBoth, true},
        {"", "a", kBoth, false},
        {"*a*b*c", "aXbXbXc", kBoth, true},
        {"*a*b*c", "aXbXcX", kBoth, false},
        {"\\*x", "*x", kBoth, true},  // escaped wildcards are literal
        {"\\*x", "ax", kBoth, false},
        {"STRASSE*", "straße.txt", kBoth, true},
    };
    for (const auto& [pattern, name, mode, matches] : cases)
        EXPECT_EQ(GlobPattern(globTokensFromText(pattern), mode).matches(foldName(name, mode)), matches)
            << pattern << " ~ " << name;
}

TEST(EscapeControlsTest, ControlsAndBytesThatAreNotUtf8AreEscapedTheRestKept) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain r\xC3\xA9port \xE6\x8A\xA5\xE5\x91\x8A", "plain r\xC3\xA9port \xE6\x8A\xA5\xE5\x91\x8A"},
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {"\x1b[31m\x7f\x01", "\\x1b[31m\\x7f\\x01"},
        {"csi\xC2\x9B"
         "2J nbsp\xC2\xA0",
         "csi\\u009b2J nbsp\xC2\xA0"},
        {"bad\xFF\xC3 end\xE2\x82", "bad\\xff\\xc3 end\\xe2\\x82"},
        // Shaped like UTF-8 but not: overlong, a surrogate, beyond U+10FFFF.
        {"\xF0\x9F\x98\x80 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80",
         "\xF0\x9F\x98\x80 \\xc0\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
    };
    for (const auto& [raw, shown] : cases) EXPECT_EQ(escapeControls(raw), shown) << shown;
}

using Op = Request::Op;
constexpr int64_t kMin = std::numeric_limits<int64_t>::min(), kMax = std::numeric_limits<int64_t>::max();

std::time_t localMidnight(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}
// A fixed moment: 2024-03-15 22:34:56 local time, in UTC the 16th already.
std::time_t fixedNow() { return localMidnight(2024, 3, 15) + 22 * 3600 + 34 * 60 + 56; }

struct QueryCase {
    const char* query;
    Op op;
    std::string value;  // name queries: the term or the glob's textual form
    FoldMode mode;
    int64_t notBefore = kMin, before = kMax;
};
QueryCase date(const char* q, int64_t notBefore, int64_t before = kMax) {
    return {q, Op::changedBetween, "", {}, notBefore, before};
}

// Local days are those of Newfoundland, 3:30 behind UTC (no daylight
// saving in this zone text): midnight there is no midnight in UTC.
class QueryTest : public ::testing::Test {
    qf::test::ScopedTimeZone zone_{"<-0330>3:30"};
};

TEST_F(QueryTest, Parses) {
    ASSERT_EQ(localMidnight(2024, 3, 15), 1710473400) << "2024-03-15T03:30:00Z";
    const QueryCase cases[] = {
        // The forms the program sends, with its escaping of i'm: '*i'\''m*'cd.
        {"kMDItemFSName == '*report*'cd", Op::nameGlob, "*report*", kBoth},
        {"kMDItemFSName == '*i'\\''m*'cd", Op::nameGlob, "*i'm*", kBoth},
        {"kMDItemFSName == 'A'", Op::nameGlob, "A", kExact},
        {"kMDItemFSName == 'A'c", Op::nameGlob, "A", kCase},
        {"kMDItemFSName == 'A'd", Op::nameGlob, "A", kDia},
        {"kMDItemFSName == 'A'dc", Op::nameGlob, "A", kBoth},
        {"  kMDItemFSName=='x y'cd  ", Op::nameGlob, "x y", kBoth},
        {"kMDItemFSName == \"*a\\\"b*\"cd", Op::nameGlob, "*a\"b*", kBoth},
        {"kMDItemFSName == \"a\\*b\\?\"", Op::nameGlob, "a\\*b\\?", kExact},  // escaped wildcards
        {"kMDItemFSName == 'a'\\*'b'", Op::nameGlob, "a\\*b", kExact},
        {"kMDItemFSName == 'a\\b'", Op::nameGlob, "a\\\\b", kExact},  // no escapes in '…'
        {"kMDItemFSName == ''", Op::nameGlob, "", kExact},
        {"kMDItemDisplayName == 'a'", Op::nameGlob, "a", kExact},
        // Plain text asks for names containing it.
        {"  annual report ", Op::nameContains, "annual report", kBoth},
        // Dates: operators, functions and offsets in local days.
        date("kMDItemFSContentChangeDate >= $time.today", localMidnight(2024, 3, 15)),
        date("kMDItemFSContentChangeDate >= $time.today(-1d)", localMidnight(2024, 3, 14)),
        date("kMDItemFSContentChangeDate >= $time.today(-15d)", localMidnight(2024, 2, 29)),
        date("kMDItemFSContentChangeDate >= $time.yesterday", localMidnight(2024, 3, 14)),
        date("kMDItemContentModificationDate>=$time.today( -3 )", localMidnight(2024, 3, 12)),
        date("kMDItemFSContentChangeDate > $time.today", localMidnight(2024, 3, 15) + 1),
        date("kMDItemFSContentChangeDate < $time.today", kMin, localMidnight(2024, 3, 15)),
        date("kMDItemFSContentChangeDate <= $time.today", kMin, localMidnight(2024, 3, 15) + 1),
        date("kMDItemFSContentChangeDate >= $time.now(-60)", fixedNow() - 60),
    };
    for (const QueryCase& c : cases) {
        auto parsed = parseQueryExpression(c.query, fixedNow());
        ASSERT_TRUE(parsed) << c.query << ": " << parsed.error().message();
        const Request& r = *parsed;
        EXPECT_EQ(r.op, c.op) << c.query;
        EXPECT_EQ(r.value, c.value) << c.query;
        EXPECT_EQ(r.mode, c.mode) << c.query;
        EXPECT_EQ(r.notBefore, c.notBefore) << c.query;
        EXPECT_EQ(r.before, c.before) << c.query;
    }
}

TEST_F(QueryTest, RejectsWithMessage) {
    const std::pair<const char*, const char*> cases[] = {
        {"kMDItemFSName == 'abc", "unterminated single quote"},
        {"kMDItemFSName == \"abc", "unterminated double quote"},
        {"kMDItemFSName == 'a'cw", "unknown modifier 'w'"},
        {"kMDItemFSName == abc", "must be quoted"},
        {"kMDItemFSName == 'a'\\", "backslash"},
        {"kMDItemFSName >= 'a'", "only be compared with =="},
        {"kMDItemFSName != 'a'", "unsupported operator"},
        {"kMDItemFSName == 'a' && kMDItemFSName == 'b'", "unexpected text"},
        {"kMDItemFSSize > 10", "unsupported attribute kMDItemFSSize"},
        {"kMDItemFSContentChangeDate >= yesterday", "$time.today"},
        {"kMDItemFSContentChangeDate >= $time.today(x)", "whole number"},
        {"kMDItemFSContentChangeDate >= $time.today(-1", "missing )"},
        {"kMDItemFSContentChangeDate >= $time.today(99999999999)", "out of range"},
        {"kMDItemFSContentChangeDate >= $time.today(-1000001)", "out of range"},
        {"kMDItemFSContentChangeDate >= $time.now(-86400000001)", "out of range"},
        {"kMDItemFSContentChangeDate >= $time.week", "unknown date"},
        {"   ", "empty query"},
    };
    for (const auto& [query, fragment] : cases) {
        auto parsed = parseQueryExpression(query, fixedNow());
        ASSERT_FALSE(parsed) << query;
        EXPECT_TRUE(parsed.error() == Errc::invalidInput) << query;
        EXPECT_NE(parsed.error().message().find(fragment), std::string::npos) << parsed.error().message();
    }
}

TEST(QueryDaysTest, StartOfDayAcrossDaylightSavingChange) {
    // In Berlin's zone 2024-03-31 has 23 hours; the day before April 1st
    // still starts at local midnight. Spelled out, the zone needs no tzdata.
    qf::test::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::time_t april = localMidnight(2024, 4, 1);
    EXPECT_EQ(april, 1711922400) << "2024-03-31T22:00:00Z";
    EXPECT_EQ(april - startOfLocalDay(april + 12 * 3600, -1), 23 * 3600);
    // A summer day starts at midnight summer time, not an hour later.
    const std::time_t july = localMidnight(2024, 7, 15);
    EXPECT_EQ(july, 1720994400) << "2024-07-14T22:00:00Z";
    EXPECT_EQ(startOfLocalDay(july + 12 * 3600, 0), july);
}

// The parsed command in words: "op:value", the -onlyin folders and flags.
std::string parsed(const std::vector<std::string>& args) {
    auto result = parseMdfindArguments(args, 1710506096, "/home/u/work");
    if (!result) return result.error().message().empty() ? "silent error" : "error";
    const MdfindCommand& c = *result;
    std::string text = std::vector<std::string>{"contains", "glob", "changed", "status", "best", "verify"}.at(
        static_cast<size_t>(c.request.op));
    text += ":" + c.request.value;
    for (const std::string& folder : c.request.onlyIn) text += " in " + folder;
    if (c.request.countOnly) text += " count";
    if (c.nulSeparated) text += " nul";
    if (c.startServiceOnly) text += " start";
    return text;
}

TEST(MdfindArgumentsTest, Parses) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        // The term after -name is taken whole.
        {{"-name", "big report"}, "contains:big report"},
        {{"-name", "--status"}, "contains:--status"},
        {{"--", "-name"}, "contains:-name"},  // "--" ends the options
        {{"-onlyin", "docs/", "-0", "-count", "-onlyin", "/tmp/../srv//x", "kMDItemFSName == '*.txt'cd"},
         "glob:*.txt in /home/u/work/docs in /srv/x count nul"},
        {{"--status"}, "status:"},
        {{"--start-service"}, "status: start"},
        {{"-onlyin", "a", "--verify", "-onlyin", "/b"}, "verify: in /home/u/work/a in /b"},
        {{"--verify", "-count"}, "error"},
        // No arguments, an unknown option and a broken query: see the process tests.
        {{"-name"}, "error"},
        {{"-name", ""}, "error"},
        {{"query one", "query two"}, "error"},
        {{"-name", "a", "-name", "b"}, "error"},
        {{"-name", "a", "query"}, "error"},
        {{"-onlyin"}, "error"},
        {{"-onlyin", "", "-name", "a"}, "error"},  // not the current folder
    };
    for (const auto& [args, expected] : cases) EXPECT_EQ(parsed(args), expected) << ::testing::PrintToString(args);
}

TEST(WireTest, RequestsRoundTripAndMalformedOnesAreRejected) {
    Request r{Op::best, "*i'm\\*x?",    {false, true},      -5, 1234567890123, {"/a b", "/c=d"},
              true,     {"old", "a=b"}, {"*.pdf", "x\\*?"}, 20};
    auto decoded = decodeRequest(encodeRequest(r));
    ASSERT_TRUE(decoded) << decoded.error().message();
    EXPECT_EQ(*decoded, r);
    using namespace std::string_literals;
    for (const std::string& b :
         {""s, "op=name\0"s /* no terminator */, "op=bogus\0\0"s, "value=x\0\0"s, "op=name\0icase=2\0\0"s,
          "op=name\0since=12x\0\0"s, "op=name\0novalue\0\0"s, "op=name\0color=red\0\0"s, "op=name\0\0trailing"s,
          "op=best\0limit=-1\0\0"s, "op=best\0limit=20x\0\0"s, "op=best\0limit=4294967296\0\0"s})
        EXPECT_FALSE(decodeRequest(b)) << b;
}

using Names = std::vector<std::string>;

// The roots nothing (the default) when `roots` is {"default"}.
IndexSettings with(Names roots, Names names, Names paths, bool hidden = true, bool network = false) {
    IndexSettings s{std::move(roots), std::move(names), std::move(paths), hidden, network};
    if (s.roots == Names{"default"}) s.roots.reset();
    return s;
}

// What cannot be used is reported and never widens the index: a roots line
// keeps its good folders (none, if none is good: nothing is indexed), an
// exclude line its good words, a yes-or-no that is neither counts as no.
TEST(SettingsParseTest, Parses) {
    const IndexSettings defaults = with({"default"}, {}, {});
    const std::tuple<const char*, IndexSettings, std::vector<int>> cases[] = {
        {"# only a comment\n\n   \n", defaults, {}},
        {"roots = /home/me:/srv/data/ # two\nhidden = no\nnetwork = yes\n",
         with({"/home/me", "/srv/data"}, {}, {}, false, true),
         {}},
        {"roots=/a/./b/../c::\r\n", with({"/a/c"}, {}, {}), {}},
        {"exclude = node_modules .cache /home/me/tmp/ \"My Stuff\" a#b\nexclude = .git # vcs\n",
         with({"default"}, {"node_modules", ".cache", "My Stuff", "a#b", ".git"}, {"/home/me/tmp"}),
         {}},
        // A later roots line replaces the earlier one, with its good folders.
        {"roots = /a\nroots = /b\nroots = /c:relative:/d:x/y\n", with({"/c", "/d"}, {}, {}), {3, 3}},
        {"roots = /a\nroots = a/b\n", with({}, {}, {}), {2, 2}},
        {"roots =\n", with({}, {}, {}), {1}},
        {"exclude = ok \"unterminated\nexclude = a/b\nexclude = \"\"\nexclude = \"x\"y z\nexclude = in\"side .\n"
         "exclude =\nexclude = .. last\n",
         with({"default"}, {"ok", "z", "last"}, {}),
         {1, 2, 3, 4, 5, 5, 6, 7}},
        {"hidden = maybe\nnetwork = YES\ncolour = red\njust words\nhidden = no\x1b[2J\n",
         with({"default"}, {}, {}, false),
         {1, 2, 3, 4, 5}},
        {"hidden = no\nhidden = yes\nnetwork = yes\nnetwork = sure\n", with({"default"}, {}, {}, true, false), {4}},
    };
    for (const auto& [text, expected, problemLines] : cases) {
        LoadedSettings loaded = parseIndexSettings(text);
        EXPECT_EQ(loaded.settings, expected) << text;
        std::vector<int> lines;
        for (const SettingsProblem& p : loaded.problems) {
            lines.push_back(p.line);
            EXPECT_FALSE(p.reason.empty());
            EXPECT_EQ(p.reason.find_first_of("\n\r\x1b"), std::string::npos) << p.reason;
        }
        EXPECT_EQ(lines, problemLines) << text;
    }
}

// Hidden names (a leading "." and one character more) unless hidden = yes;
// excluded names are folders only; an excluded folder holds what is below it.
TEST(SettingsParseTest, WhatIsLeftOut) {
    const IndexSettings hiddenOut = with({"default"}, {"build"}, {"/x/tmp"}, false);
    const std::tuple<const char*, const char*, bool, bool> cases[] = {
        // name, path, folder, left out
        {".a", "/h/.a", false, true},   {".", "/h/.", true, false},        {"..", "/h/..", true, false},
        {"a.", "/h/a.", false, false},  {"build", "/h/build", true, true}, {"build", "/h/build", false, false},
        {"a", "/x/tmp/a", false, true}, {"tmpa", "/x/tmpa", false, false},
    };
    for (const auto& [name, path, folder, leftOut] : cases)
        EXPECT_EQ(isExcluded(hiddenOut, name, path, folder), leftOut) << path;
    EXPECT_FALSE(isExcluded(with({"default"}, {}, {}, true), ".a", "/h/.a", false));
}

// A missing file means the defaults; one that exists but cannot be used is
// a failure (never the defaults, which would widen the index), and a FIFO,
// like every file that is not regular, is not opened for reading.
TEST(SettingsFileTest, MissingAndUnusableFiles) {
    qf::test::TempDir dir;
    Expected<LoadedSettings> missing = loadIndexSettings(dir / "none.conf");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->settings, IndexSettings{});
    EXPECT_TRUE(missing->problems.empty());

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    qf::test::writeFile(dir / "large", "# " + std::string(1 << 20, 'x') + "\n");
    qf::test::writeFile(dir / "unreadable", "roots = /\n");
    ::chmod((dir / "unreadable").c_str(), 0);
    const std::pair<std::string, const char*> cases[] = {{dir / "fifo", "not a regular file"},
                                                         {dir / "large", "larger than 1 MiB"},
                                                         {dir / "unreadable", "Permission denied"}};
    for (const auto& [path, reason] : cases) {
        if (path == dir / "unreadable" && ::geteuid() == 0) continue;  // root reads it all the same
        Expected<LoadedSettings> r = loadIndexSettings(path);
        ASSERT_FALSE(r) << path;
        EXPECT_NE(r.error().message().find(reason), std::string::npos) << r.error().message();
        EXPECT_NE(r.error().message().find(path), std::string::npos) << r.error().message();
    }
    qf::test::writeFile(dir / "full", "#" + std::string((1 << 20) - 2, 'x') + "\n");
    EXPECT_TRUE(loadIndexSettings(dir / "full")) << "exactly 1 MiB is read";
    // A relative XDG_CONFIG_HOME would depend on the folder the service
    // happens to start in: ~/.config counts instead.
    qf::test::ScopedEnv home("HOME", "/home/u");
    for (const auto& [xdg, settings] :
         {std::pair<std::optional<std::string>, const char*>{"/c", "/c/quillfind/index.conf"},
          {"c", "/home/u/.config/quillfind/index.conf"},
          {std::nullopt, "/home/u/.config/quillfind/index.conf"}}) {
        qf::test::ScopedEnv config("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(indexSettingsPath(), settings) << xdg.value_or("unset");
    }
}

}  // namespace
}  // namespace qf::index
