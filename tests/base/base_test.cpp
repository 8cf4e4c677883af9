// The base library: starting children and reading how they ended,
// connecting to local sockets, and reaching the index service with both.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/index_service.h"
#include "base/spawn.h"
#include "base/unix_socket.h"
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
        EXPECT_EQ(pid.error().code().value(), error) << program;
    }
    auto notOurs = waitForExit(::getppid());
    ASSERT_FALSE(notOurs);
    EXPECT_EQ(notOurs.error().code().value(), ECHILD);
}

TEST(Spawn, PathIsLedByTheGivenFolderAndAppearsOnce) {
    test::ScopedEnv path("PATH", "/usr/bin:/bin");
    const auto env = environmentWithPathFirst("/opt/helpers");
    EXPECT_EQ(std::count_if(env.begin(), env.end(), [](const std::string& e) { return e.rfind("PATH=", 0) == 0; }), 1);
    EXPECT_NE(std::find(env.begin(), env.end(), "PATH=/opt/helpers:/usr/bin:/bin"), env.end());
}

UniqueFd listenAt(const std::string& path) {
    auto address = unixSocketAddress(path);
    if (!address) return {};
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0) return {};
    if (::listen(fd.get(), 4) != 0) return {};
    return fd;
}

TEST(UnixSocket, ConnectsOnlyToAListenerAndSaysWhyNot) {
    test::TempDir dir;
    UniqueFd listening = listenAt(dir / "live");
    ASSERT_TRUE(listening);
    // A socket file whose listener is gone, as a crashed service leaves it.
    listenAt(dir / "stale").reset();
    const std::pair<std::string, int> cases[] = {
        {dir / "live", 0},
        {dir / "stale", ECONNREFUSED},
        {dir / "missing", ENOENT},
        {"", EINVAL},
        {std::string("/tmp/a\0b", 8), EINVAL},
        // sun_path holds 108 bytes, its terminating NUL included.
        {"/tmp/" + std::string(102, 'x'), ENOENT},
        {"/tmp/" + std::string(103, 'x'), ENAMETOOLONG},  // would be cut to another path
    };
    for (const auto& [path, error] : cases) {
        auto fd = connectUnixSocket(path);
        EXPECT_EQ(fd ? 0 : fd.error().code().value(), error) << path;
        EXPECT_EQ(fd && fd->valid(), error == 0) << path;
    }
}

TEST(IndexService, OnlyAbsolutePathFoldersAreSearchedAfterTheProgramFolder) {
    test::TempDir dir;
    for (const char* folder : {"beside", "relative", "onPath"}) {
        ::mkdir((dir / folder).c_str(), 0700);
        test::writeFile(dir / folder + "/quillfind-indexd", "#!/bin/sh\n");
        ::chmod((dir / folder + "/quillfind-indexd").c_str(), 0700);
    }
    ::chmod((dir / "beside/quillfind-indexd").c_str(), 0600);  // present but not runnable
    test::ScopedEnv path("PATH", "relative::" + (dir / "onPath"));
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    EXPECT_EQ(findIndexServiceExecutable(dir / "beside"), dir / "onPath/quillfind-indexd");
    ::chmod((dir / "beside/quillfind-indexd").c_str(), 0700);
    EXPECT_EQ(findIndexServiceExecutable(dir / "beside"), dir / "beside/quillfind-indexd");
    test::ScopedEnv onlyRelative("PATH", "relative");
    EXPECT_EQ(findIndexServiceExecutable(""), "");
    ASSERT_EQ(::chdir("/"), 0);
}

TEST(IndexService, AStartThatNeverListensFailsAfterThePatience) {
    test::TempDir dir;
    test::ScopedEnv indexDir("QUILLFIND_INDEX_DIR", dir.path());
    test::writeFile(dir / "quiet", "#!/bin/sh\nexit 0\n");
    ::chmod((dir / "quiet").c_str(), 0700);
    const std::pair<std::string, std::string> cases[] = {
        {"", "the index service is not running and quillfind-indexd cannot be run"},
        {dir / "quiet", "the index service did not start (socket " + (dir / "indexd.sock") + ")"},
    };
    for (const auto& [executable, error] : cases) {
        auto fd = connectOrStartIndexService(executable, std::chrono::milliseconds(50));
        ASSERT_FALSE(fd) << executable;
        EXPECT_EQ(fd.error().message(), error);
    }
    // Something listening is used as it is, without starting anything.
    UniqueFd listening = listenAt(dir / "indexd.sock");
    EXPECT_TRUE(connectOrStartIndexService("", std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace qf
