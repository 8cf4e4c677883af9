// Connecting to local sockets, and reaching the index service through them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/index_service.h"
#include "base/unix_socket.h"
#include "common/test_support.h"

namespace qf {
namespace {

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
        {"/tmp/" + std::string(120, 'x'), ENAMETOOLONG},  // would be cut to another path
    };
    for (const auto& [path, error] : cases) {
        auto fd = connectUnixSocket(path);
        EXPECT_EQ(fd ? 0 : fd.error().value(), error) << path;
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
        EXPECT_EQ(fd.error(), error);
    }
    // Something listening is used as it is, without starting anything.
    UniqueFd listening = listenAt(dir / "indexd.sock");
    EXPECT_TRUE(connectOrStartIndexService("", std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace qf
