#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>

#include "core/child_process.h"
#include "core/core_test_support.h"
#include "core/shell.h"

namespace qf {
namespace {

using test::Lines;
using ::testing::ElementsAreArray;

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

}  // namespace
}  // namespace qf
