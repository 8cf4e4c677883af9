#include <gtest/gtest.h>

#include "printable.h"

namespace qf::index {
namespace {

TEST(EscapeControlsTest, ControlsAndBrokenUtf8AreEscapedTheRestKept) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain r\xC3\xA9port \xE6\x8A\xA5\xE5\x91\x8A", "plain r\xC3\xA9port \xE6\x8A\xA5\xE5\x91\x8A"},
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {"\x1b[31m\x7f\x01", "\\x1b[31m\\x7f\\x01"},
        {"csi\xC2\x9B"
         "2J nbsp\xC2\xA0",
         "csi\\u009b2J nbsp\xC2\xA0"},
        {"bad\xFF\xC3 end\xE2\x82", "bad\\xff\\xc3 end\\xe2\\x82"},
    };
    for (const auto& [raw, shown] : cases) EXPECT_EQ(escapeControls(raw), shown) << shown;
}

}  // namespace
}  // namespace qf::index
