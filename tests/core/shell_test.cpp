#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "core/child_process.h"
#include "core/core_test_support.h"
#include "core/shell.h"

namespace qf {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

// No child of this process is left behind, not even as a zombie.
void expectNoChildren() {
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

bool waitForRunning(std::size_t count) {
    for (int i = 0; i < 500; ++i) {
        if (QueryRunner::shared().runningCount() == count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(SplitLines, DropsEmptyPiecesAndKeepsCrLf) {
    const std::pair<std::string, Lines> cases[] = {
        {"a\n\nb\n", {"a", "b"}},
        {"", {}},
        {"\n\n", {}},
        {"no newline", {"no newline"}},
        {"a\r\nb\n", {"a\r\nb"}},  // CR LF is one character that is not a line end
        {"a\rb\n", {"a\rb"}},
        {"\r\n", {"\r\n"}},
    };
    for (const auto& [text, lines] : cases) EXPECT_THAT(splitLines(text), ElementsAreArray(lines)) << ::testing::PrintToString(text);
}

TEST(RunShell, ReturnsNonEmptyOutputLines) {
    const std::pair<std::string, Lines> cases[] = {
        {"printf 'a\\n\\nb\\n'", {"a", "b"}},
        {"true", {}},
        {"no-such-command-quillfind", {}},
        {"printf '\\377\\n'", {}},                      // not UTF-8: nothing at all
        {"printf 'ok\\n'; printf '\\377\\n'", {}},      // one bad byte blanks the whole answer
        {"printf 'x\\ny'; exit 3", {"x", "y"}},         // the exit status is not examined
        {"printf '报告\\n'", {"报告"}},
        {"cat", {}},                                    // stdin is the null device, never ours
        {"echo err >&2; echo out", {"out"}},            // stderr is discarded
    };
    for (const auto& [cmd, lines] : cases) EXPECT_THAT(runShell(cmd), ElementsAreArray(lines)) << cmd;
    expectNoChildren();
}

TEST(RunShell, ReadsLargeOutputWithoutBlocking) {
    const auto lines = runShell("seq 1 200000");
    ASSERT_EQ(lines.size(), 200000u);
    EXPECT_EQ(lines.front(), "1");
    EXPECT_EQ(lines.back(), "200000");
}

TEST(RunShell, ChildShellFindsMdfindOfTheProgramFirst) {
    test::FakeMdfind fake;
    EXPECT_THAT(runShell("command -v mdfind"), ElementsAre(fake.executable()));
}

TEST(RunShell, SpawnFailLineCountsCharacters) {
    const std::string cmd = std::string(45, 'x');
    EXPECT_EQ(spawnFailLine(cmd, "No such file or directory"),
              "SPAWN_FAIL " + std::string(40, 'x') + ": No such file or directory\n");
    std::string chinese;
    for (int i = 0; i < 45; ++i) chinese += "报";
    std::string forty;
    for (int i = 0; i < 40; ++i) forty += "报";
    EXPECT_EQ(spawnFailLine(chinese, "E"), "SPAWN_FAIL " + forty + ": E\n");
    EXPECT_EQ(spawnFailLine("mdfind x", "E"), "SPAWN_FAIL mdfind x: E\n");
}

TEST(ChildProcess, StartFailureDescribesTheError) {
    ChildProcess child("/nonexistent/quillfind-tool", {}, {});
    const auto error = child.start();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "No such file or directory");
    EXPECT_FALSE(child.isRunning());
}

TEST(ChildProcess, ReportsExitStatusAndSignal) {
    ChildProcess exits("/bin/sh", {"-c", "exit 7"}, {});
    ASSERT_FALSE(exits.start());
    exits.readAll();
    const Termination a = exits.wait();
    EXPECT_FALSE(a.bySignal);
    EXPECT_EQ(a.status, 7);

    ChildProcess killed("/bin/sh", {"-c", "kill -s KILL $$"}, {});
    ASSERT_FALSE(killed.start());
    killed.readAll();
    const Termination b = killed.wait();
    EXPECT_TRUE(b.bySignal);
    EXPECT_EQ(b.status, SIGKILL);
    expectNoChildren();
}

TEST(ChildProcess, DroppedWhileRunningLeavesNoZombie) {
    {
        ChildProcess child("/bin/sh", {"-c", "sleep 30"}, {});
        ASSERT_FALSE(child.start());
        EXPECT_TRUE(child.isRunning());
    }
    expectNoChildren();
}

TEST(QueryRunner, ListsAChildOnlyWhileItRuns) {
    auto& runner = QueryRunner::shared();
    runner.cancelAll();
    auto result = std::async(std::launch::async, [] { return runShell("sleep 0.3; echo done"); });
    EXPECT_TRUE(waitForRunning(1));
    EXPECT_THAT(result.get(), ElementsAre("done"));
    EXPECT_EQ(runner.runningCount(), 0u);
}

TEST(QueryRunner, CancelAllEndsEveryRunningPipelinePromptly) {
    auto& runner = QueryRunner::shared();
    runner.cancelAll();  // with an empty registry: nothing happens
    EXPECT_EQ(runner.runningCount(), 0u);
    const auto started = std::chrono::steady_clock::now();
    // The sleeps and cat hold the pipe: only signalling the whole process
    // group lets the readers see end of file before 30 s.
    auto first = std::async(std::launch::async, [] { return runShell("echo early; sleep 30 | cat"); });
    auto second = std::async(std::launch::async, [] { return runShell("sleep 30 | cat"); });
    ASSERT_TRUE(waitForRunning(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    runner.cancelAll();
    EXPECT_EQ(runner.runningCount(), 0u);
    // A child registered after cancelAll is not affected.
    EXPECT_THAT(runShell("echo after"), ElementsAre("after"));
    EXPECT_THAT(first.get(), ElementsAre("early"));  // lines written before the end survive
    EXPECT_THAT(second.get(), IsEmpty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    expectNoChildren();
}

}  // namespace
}  // namespace qf
