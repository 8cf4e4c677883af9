// The one UTF-8 check: each sequence length at both ends of its range, and
// the ways a sequence can be ill-formed (overlong, surrogate, past U+10FFFF,
// cut short, stray continuation bytes).
#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"

namespace qf {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

TEST(Utf8, WellFormedSequencesAtTheEndsOfEachRange) {
    const struct {
        std::string text;
        std::size_t length;  // of the sequence at the start; 0: ill-formed
    } cases[] = {
        {bytes({0x00}), 1},
        {bytes({0x7F}), 1},
        {bytes({0xC2, 0x80}), 2},  // U+0080
        {bytes({0xDF, 0xBF}), 2},  // U+07FF
        {bytes({0xC0, 0xAF}), 0},  // "/" overlong in two bytes
        {bytes({0xC1, 0xBF}), 0},  // U+007F overlong
        {bytes({0xC2, 0x7F}), 0},  // the second byte is no continuation
        {bytes({0xC2, 0xC0}), 0},
        {bytes({0xC2}), 0},                    // cut short
        {bytes({0xE0, 0xA0, 0x80}), 3},        // U+0800
        {bytes({0xE0, 0x9F, 0xBF}), 0},        // U+07FF overlong in three bytes
        {bytes({0xE0, 0x80, 0xAF}), 0},        // "/" overlong in three bytes
        {bytes({0xED, 0x9F, 0xBF}), 3},        // U+D7FF, below the surrogates
        {bytes({0xED, 0xA0, 0x80}), 0},        // U+D800, the first surrogate
        {bytes({0xED, 0xBF, 0xBF}), 0},        // U+DFFF, the last
        {bytes({0xEE, 0x80, 0x80}), 3},        // U+E000
        {bytes({0xEF, 0xBF, 0xBF}), 3},        // U+FFFF
        {bytes({0xE6, 0x8A}), 0},              // 报 cut short
        {bytes({0xE6, 0x8A, 0x41}), 0},        // the third byte is no continuation
        {bytes({0xF0, 0x90, 0x80, 0x80}), 4},  // U+10000
        {bytes({0xF0, 0x8F, 0xBF, 0xBF}), 0},  // U+FFFF overlong in four bytes
        {bytes({0xF4, 0x8F, 0xBF, 0xBF}), 4},  // U+10FFFF, the last code point
        {bytes({0xF4, 0x90, 0x80, 0x80}), 0},  // U+110000
        {bytes({0xF5, 0x80, 0x80, 0x80}), 0},
        {bytes({0xF0, 0x9F, 0x91}), 0},        // 👍 cut short
        {bytes({0xF0, 0x9F, 0x91, 0xC0}), 0},  // the fourth byte is no continuation
        {bytes({0xF0, 0x9F, 0x41, 0x8D}), 0},  // the third byte is no continuation
        {bytes({0x80}), 0},                    // continuation bytes alone
        {bytes({0xBF}), 0},
        {bytes({0xF8, 0x88, 0x80, 0x80, 0x80}), 0},  // the old five-byte form
        {bytes({0xFE}), 0},
        {bytes({0xFF}), 0},
    };
    for (const auto& c : cases) {
        const std::string shown = ::testing::PrintToString(c.text);
        EXPECT_EQ(utf8SequenceLength(c.text, 0), c.length) << shown;
        // Whole texts: the sequence alone, and between ASCII and after a
        // character of every other length.
        const bool whole = c.length == c.text.size();
        EXPECT_EQ(isValidUtf8(c.text), whole) << shown;
        EXPECT_EQ(isValidUtf8("a/é报👍" + c.text + "z"), whole) << shown;
        if (whole && c.length > 1) {
            // Cut by the view, not by the memory: the last byte is still there.
            EXPECT_EQ(utf8SequenceLength(std::string_view(c.text).substr(0, c.length - 1), 0), 0u) << shown;
            EXPECT_FALSE(isValidUtf8(std::string_view(c.text).substr(0, c.length - 1))) << shown;
        }
    }
}

TEST(Utf8, SequenceLengthAtAnOffsetAndPastTheEnd) {
    const std::string text = "a报";
    EXPECT_EQ(utf8SequenceLength(text, 0), 1u);
    EXPECT_EQ(utf8SequenceLength(text, 1), 3u);
    EXPECT_EQ(utf8SequenceLength(text, 2), 0u);  // inside 报
    EXPECT_EQ(utf8SequenceLength(text.substr(0, 3), 1), 0u);
    EXPECT_EQ(utf8SequenceLength(text, text.size()), 0u);
}

TEST(Utf8, AsciiRunsOfEveryLengthAroundTheEightByteSteps) {
    // The ASCII run is taken eight bytes at a time: a bad or non-ASCII
    // byte at each place in and after the first words must still be seen.
    for (std::size_t at = 0; at <= 17; ++at) {
        const std::string head(at, 'a');
        EXPECT_EQ(asciiPrefixLength(head), at);
        EXPECT_TRUE(isAscii(head));
        EXPECT_EQ(asciiPrefixLength(head + "é" + head), at) << at;
        EXPECT_FALSE(isAscii(head + "é")) << at;
        EXPECT_TRUE(isValidUtf8(head + "é" + head)) << at;
        EXPECT_FALSE(isValidUtf8(head + bytes({0x80}) + head)) << at;
        EXPECT_FALSE(isValidUtf8(head + bytes({0xE6, 0x8A}))) << at;  // cut at the very end
    }
    EXPECT_TRUE(isValidUtf8(std::string("a\0b", 3)));
    EXPECT_TRUE(isValidUtf8(""));
}

}  // namespace
}  // namespace qf
