// The base library: starting children and reading how they ended,
// connecting to local sockets, reaching the index service with both, and
// what a person reads from an Error.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/expected.h"
#include "base/index_service.h"
#include "base/spawn.h"
#include "base/unix_socket.h"
#include "common/test_support.h"

namespace qf {
namespace {

TEST(Spawn, EndingsAreDecodedAndTheChildStartsWithCleanSignals) {
    // Blocked here, as a worker thread may have it; the child must not inherit that.
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &old), 0);
    // Field 5 of /proc/PID/stat is the process group.
    const std::vector<std::string> leadsGroup = {"-c", R"(set -- $(cat /proc/$$/stat); [ "$5" = "$$" ])"};
    const std::tuple<std::string, std::vector<std::string>, bool, Termination> cases[] = {
        {"/bin/sh", {"-c", "exit 3"}, false, {false, 3}},
        {"/bin/sh", {"-c", "kill -KILL $$"}, false, {true, SIGKILL}},
        // grep, unlike a shell, leaves its signal mask as it found it.
        {"/bin/grep", {"-q", "^SigBlk:[[:space:]]*0*$", "/proc/self/status"}, false, {false, 0}},
        {"/bin/sh", leadsGroup, true, {false, 0}},
        {"/bin/sh", leadsGroup, false, {false, 1}},
    };
    for (const auto& [executable, arguments, ownProcessGroup, expected] : cases) {
        SCOPED_TRACE(arguments.back());
        SpawnOptions options;
        options.ownProcessGroup = ownProcessGroup;
        auto end = runAndWait(executable, arguments, options);
        ASSERT_TRUE(end) << end.error().message();
        EXPECT_EQ(std::pair(end->bySignal, end->status), std::pair(expected.bySignal, expected.status));
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    test::TempDir dir;
    test::writeFile(dir / "plain", "#!/bin/sh\n");  // not executable
    EXPECT_EQ(spawnProcess(dir / "plain", {}).error().code().value(), EACCES);
    EXPECT_EQ(spawnProcess(dir / "missing", {}).error().code().value(), ENOENT);
}

TEST(Spawn, PathIsLedByTheGivenFolderAndAppearsOnce) {
    test::ScopedEnv path("PATH", "/usr/bin:/bin");
    const auto env = environmentWithPathFirst("/opt/helpers");
    EXPECT_EQ(std::count_if(env.begin(), env.end(), [](const std::string& e) { return e.starts_with("PATH="); }), 1);
    EXPECT_NE(std::find(env.begin(), env.end(), "PATH=/opt/helpers:/usr/bin:/bin"), env.end());
}

UniqueFd listenAt(const std::string& path) {
    auto address = unixSocketAddress(path);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!address || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0 ||
        ::listen(fd.get(), 4) != 0)
        return {};
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
        {std::string("/tmp/a\0b", 8), EINVAL},
        // sun_path holds 108 bytes, its terminating NUL included.
        {"/tmp/" + std::string(102, 'x'), ENOENT},
        {"/tmp/" + std::string(103, 'x'), ENAMETOOLONG},  // would be cut to another path
    };
    for (const auto& [path, error] : cases) {
        auto fd = connectUnixSocket(path);
        EXPECT_EQ(fd ? 0 : fd.error().code().value(), error) << path;
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

// A service that never listens fails after the patience; something already
// listening is used as it is, without starting anything.
TEST(IndexService, AStartThatNeverListensFailsAfterThePatience) {
    test::TempDir dir;
    test::ScopedEnv indexDir("QUILLFIND_INDEX_DIR", dir.path());
    test::writeFile(dir / "quiet", "#!/bin/sh\nexit 0\n");
    ::chmod((dir / "quiet").c_str(), 0700);
    auto fd = connectOrStartIndexService(dir / "quiet", std::chrono::milliseconds(50));
    ASSERT_FALSE(fd);
    EXPECT_EQ(fd.error().message(), "the index service did not start (socket " + (dir / "indexd.sock") + ")");
    UniqueFd listening = listenAt(dir / "indexd.sock");
    EXPECT_TRUE(connectOrStartIndexService("", std::chrono::milliseconds(0)));
}

TEST(Error, MessagesNameTheContextThenTheSystemReason) {
    const std::string noEntry = std::strerror(ENOENT);
    const std::pair<Error, std::string> cases[] = {
        {Error::fromErrno(ENOENT, "cannot open /x"), "cannot open /x: " + noEntry},
        {Error(errorOf(ENOENT)), noEntry},
        {Error::fromErrno(ENOENT, "cannot open /x").within("snapshot"), "snapshot: cannot open /x: " + noEntry},
        {Error(errorOf(ENOENT)).within("cannot start /bin/q"), "cannot start /bin/q: " + noEntry},
        // Our own kinds: the context is the whole story.
        {Error(Errc::badData, "").within("snapshot"), "snapshot"},
        {Error(Errc::refused, "busy").within("status"), "status: busy"},
        {Error(Errc::unavailable, ""), "not available"},
    };
    for (const auto& [error, expected] : cases) EXPECT_EQ(error.message(), expected);
}

}  // namespace
}  // namespace qf
