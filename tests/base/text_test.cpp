// The one UTF-8 check (each sequence length at both ends of its range and
// the ways a sequence is ill-formed), and paths as text: their parts, and
// whether one lies inside another where a prefix test goes wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/path_names.h"
#include "base/utf8.h"

namespace qf {
namespace {

using namespace std::string_view_literals;

TEST(Utf8, WellFormedSequencesAtTheEndsOfEachRange) {
    const std::vector<std::string_view> wellFormed = {
        "\0"sv,         "\x7F",         "\xC2\x80",         "\xDF\xBF",        "\xE0\xA0\x80",
        "\xED\x9F\xBF", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"};
    // Overlong forms (C0 AF is "/"), surrogates (ED A0..BF), past U+10FFFF,
    // cut short, and continuation bytes where a lead belongs or the reverse.
    const std::vector<std::string_view> illFormed = {
        "\xC0\xAF",         "\xC1\xBF",         "\xC2\x7F",         "\xC2",         "\xE0\x9F\xBF",
        "\xE0\x80\xAF",     "\xED\xA0\x80",     "\xED\xBF\xBF",     "\xE6\x8A\x41", "\xF0\x8F\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF0\x9F\x91\xC0", "\x80",         "\xFE"};
    for (const bool valid : {true, false}) {
        for (const std::string_view text : valid ? wellFormed : illFormed) {
            const std::string shown = ::testing::PrintToString(std::string(text));
            EXPECT_EQ(utf8SequenceLength(text, 0), valid ? text.size() : 0u) << shown;
            // Whole texts: the sequence alone, and after a character of every length.
            EXPECT_EQ(isValidUtf8(text), valid) << shown;
            EXPECT_EQ(isValidUtf8("a/é报👍" + std::string(text) + "z"), valid) << shown;
            // Cut by the view, not by the memory: the last byte is still there.
            if (valid && text.size() > 1) {
                EXPECT_FALSE(isValidUtf8(text.substr(0, text.size() - 1))) << shown;
            }
        }
    }
    EXPECT_EQ(utf8SequenceLength("a报", 1), 3u);
    EXPECT_EQ(utf8SequenceLength("a报", 2), 0u);  // inside 报
    EXPECT_EQ(utf8SequenceLength("a", 1), 0u);    // past the end
}

TEST(Utf8, AsciiRunsOfEveryLengthAroundTheEightByteSteps) {
    // The ASCII run is taken eight bytes at a time: a bad or non-ASCII
    // byte at each place in and after the first words must still be seen.
    for (std::size_t at = 0; at <= 17; ++at) {
        const std::string head(at, 'a');
        EXPECT_EQ(asciiPrefixLength(head + "é" + head), at) << at;
        EXPECT_TRUE(isValidUtf8(head + "é" + head)) << at;
        EXPECT_FALSE(isValidUtf8(head + "\x80" + head)) << at;
        EXPECT_FALSE(isValidUtf8(head + "\xE6\x8A")) << at;  // cut at the very end
    }
}

TEST(PathNames, PartsJoinsAndTrailingSlashes) {
    const std::tuple<const char*, const char*, const char*> parts[] = {
        {"/Users/x/docs/", "docs", "/Users/x"},
        {"/report", "report", "/"},
        {"/", "/", "/"},
        {"//", "/", "/"},
        {"/a//b", "b", "/a"},
        {"report", "report", "."},
    };
    for (const auto& [path, last, folder] : parts) {
        EXPECT_EQ(lastPathComponent(path), last) << path;
        EXPECT_EQ(containingFolder(path), folder) << path;
    }
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("/", "b"), "/b");
    EXPECT_EQ(joinPath("", "b"), "/b");
    EXPECT_EQ(withoutTrailingSlashes("/a//"), "/a");
}

TEST(PathNames, InsideAFolder) {
    const std::tuple<const char*, const char*, bool, bool> cases[] = {
        // path, folder, same or inside, strictly inside
        {"/a", "/a", true, false},    {"/a/b/c", "/a", true, true}, {"/ab", "/a", false, false},
        {"/a", "/a/b", false, false}, {"/a/b", "/a/", true, true},  {"/a/", "/a", true, false},
        {"/ab", "/a/", false, false}, {"/x", "/", true, true},      {"/", "/", true, false},
        {"x", "/", false, false},     {"/a", "", false, false},     {"a/b", "a", true, true}};
    for (const auto& [path, folder, sameOrInside, strictlyInside] : cases) {
        EXPECT_EQ(isSameOrInside(path, folder), sameOrInside) << path << " in " << folder;
        EXPECT_EQ(isStrictlyInside(path, folder), strictlyInside) << path << " in " << folder;
    }
}

}  // namespace
}  // namespace qf
