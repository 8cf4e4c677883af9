// Handing all bytes over (short writes, a full non-blocking pipe with and
// without a deadline, a reader that has gone), and paths longer than one
// system call takes, cut into steps around PATH_MAX.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <thread>

#include "base/path_at.h"
#include "base/write_all.h"
#include "common/test_support.h"

namespace qf {
namespace {

using namespace std::chrono_literals;

TEST(WriteAll, EveryByteArrivesInOrderOrTheReasonIsGiven) {
    // Four times the default pipe size: writes come back short.
    std::string bytes(256 * 1024, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    for (bool blocking : {true, false}) {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        UniqueFd in(fds[0]), out(fds[1]);
        ASSERT_EQ(::fcntl(out.get(), F_SETFL, blocking ? 0 : O_NONBLOCK), 0);
        std::string got;
        std::thread reader([&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(in.get(), buffer, sizeof buffer)) > 0;) got.append(buffer, std::size_t(n));
        });
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        EXPECT_FALSE(writeAll(out.get(), bytes, blocking ? std::nullopt : std::optional(deadline)));
        out.reset();
        reader.join();
        EXPECT_EQ(got, bytes) << blocking;
        if (blocking) continue;
        // Nobody reads any more: a full pipe fails at once, or at the deadline.
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        in.reset(fds[0]);
        out.reset(fds[1]);
        EXPECT_EQ(writeAll(out.get(), bytes), std::errc::resource_unavailable_try_again);
        EXPECT_EQ(writeAll(out.get(), bytes, std::chrono::steady_clock::now() + 50ms), std::errc::timed_out);
    }
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    UniqueFd mine(fds[0]);
    ::close(fds[1]);
    // SIGPIPE would end this test program; sendAll must report EPIPE instead.
    EXPECT_EQ(sendAll(mine.get(), "answer"), std::errc::broken_pipe);
    EXPECT_EQ(writeAll(-1, "x"), std::errc::bad_file_descriptor);
    EXPECT_FALSE(writeAll(-1, ""));  // nothing to write is no failure
}

TEST(PathAt, ReachesFoldersAtAnyLength) {
    test::TempDir dir;
    for (size_t length : {size_t{PATH_MAX} - 1, size_t{PATH_MAX}, size_t{PATH_MAX} + 1, size_t{3 * PATH_MAX} + 7}) {
        SCOPED_TRACE(length);
        // Folders of 200-byte names, the last one fitted, down to a bottom
        // path of exactly `length` bytes.
        std::string path = dir / std::to_string(length);
        std::filesystem::create_directory(path);
        UniqueFd bottom(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        while (bottom && path.size() < length) {
            const size_t left = length - path.size() - 1;
            const std::string name(left > 255 ? 200 : left, 'n');
            ASSERT_EQ(::mkdirat(bottom.get(), name.c_str(), 0755), 0);
            bottom.reset(::openat(bottom.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            path += "/" + name;
        }
        ASSERT_EQ(path.size(), length);
        struct stat expected {
        }, opened{}, viaRest{};
        ASSERT_EQ(::fstat(bottom.get(), &expected), 0);
        Expected<UniqueFd> fd = openPath(path, O_RDONLY | O_DIRECTORY);
        ASSERT_TRUE(fd) << fd.error().message();
        ASSERT_EQ(::fstat(fd->get(), &opened), 0);
        EXPECT_EQ(opened.st_ino, expected.st_ino);
        Expected<PathAt> at = pathAt(path + "/");
        ASSERT_TRUE(at) << at.error().message();
        EXPECT_LT(std::string_view(at->rest()).size(), size_t{PATH_MAX});
        ASSERT_EQ(::fstatat(at->dirFd(), at->rest(), &viaRest, 0), 0);
        EXPECT_EQ(viaRest.st_ino, expected.st_ino);
    }
    EXPECT_FALSE(openPath(dir / "missing", O_RDONLY)) << "a plain failure stays one";
}

}  // namespace
}  // namespace qf
