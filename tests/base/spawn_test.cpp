// Starting children and reading how they ended.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/spawn.h"
#include "common/test_support.h"

namespace qf {
namespace {

struct Case {
    const char* name;
    std::string executable;
    std::vector<std::string> arguments;
    bool ownProcessGroup;
    Termination expected;
};

TEST(Spawn, EndingsAreDecodedAndTheChildStartsWithCleanSignals) {
    // Blocked here, as a worker thread may have it; the child must not inherit that.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t old;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &old), 0);
    // Field 5 of /proc/PID/stat is the process group.
    const std::vector<std::string> leadsGroup = {"-c", R"(set -- $(cat /proc/$$/stat); [ "$5" = "$$" ])"};
    const Case cases[] = {
        {"exit status", "/bin/sh", {"-c", "exit 3"}, false, {false, 3}},
        {"killed", "/bin/sh", {"-c", "kill -KILL $$"}, false, {true, SIGKILL}},
        // grep, unlike a shell, leaves its signal mask as it found it.
        {"nothing blocked", "/bin/grep", {"-q", "^SigBlk:[[:space:]]*0*$", "/proc/self/status"}, false, {false, 0}},
        {"own group", "/bin/sh", leadsGroup, true, {false, 0}},
        {"caller's group", "/bin/sh", leadsGroup, false, {false, 1}},
    };
    for (const Case& c : cases) {
        SpawnOptions options;
        options.ownProcessGroup = c.ownProcessGroup;
        auto end = runAndWait(c.executable, c.arguments, options);
        ASSERT_TRUE(end) << c.name << ": " << end.error().message();
        EXPECT_EQ(end->bySignal, c.expected.bySignal) << c.name;
        EXPECT_EQ(end->status, c.expected.status) << c.name;
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

TEST(Spawn, FailuresToStartOrWaitAreErrorsNotStatuses) {
    test::TempDir dir;
    test::writeFile(dir / "plain", "#!/bin/sh\nexit 0\n");
    ::chmod((dir / "plain").c_str(), 0644);
    const std::pair<std::string, int> cases[] = {{dir / "missing", ENOENT}, {dir / "plain", EACCES}};
    for (const auto& [program, error] : cases) {
        auto pid = spawnProcess(program, {});
        ASSERT_FALSE(pid) << program;
        EXPECT_EQ(pid.error().value(), error) << program;
    }
    auto notOurs = waitForExit(::getppid());
    ASSERT_FALSE(notOurs);
    EXPECT_EQ(notOurs.error().value(), ECHILD);
}

TEST(Spawn, PathIsLedByTheGivenFolderAndAppearsOnce) {
    test::ScopedEnv path("PATH", "/usr/bin:/bin");
    const auto env = environmentWithPathFirst("/opt/helpers");
    EXPECT_EQ(std::count_if(env.begin(), env.end(), [](const std::string& e) { return e.rfind("PATH=", 0) == 0; }), 1);
    EXPECT_NE(std::find(env.begin(), env.end(), "PATH=/opt/helpers:/usr/bin:/bin"), env.end());
}

}  // namespace
}  // namespace qf
