// Handing all bytes over: short writes, a full non-blocking pipe with and
// without a deadline, a reader that has gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/unique_fd.h"
#include "base/write_all.h"

namespace qf {
namespace {

using namespace std::chrono_literals;

struct Pipe {
    UniqueFd read, write;
    Pipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        read.reset(fds[0]);
        write.reset(fds[1]);
    }
};

std::string drain(int fd) {
    std::string got;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        if (n < 0 && errno != EINTR && errno != EAGAIN) break;
    }
    return got;
}

TEST(WriteAll, MoreThanAPipeHoldsArrivesWholeAndInOrder) {
    // Four times the default pipe size: writes come back short.
    std::string bytes(256 * 1024, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    for (bool blocking : {true, false}) {
        Pipe pipe;
        if (!blocking) {
            ASSERT_EQ(::fcntl(pipe.write.get(), F_SETFL, O_NONBLOCK), 0);
        }
        std::string got;
        std::thread reader([&] { got = drain(pipe.read.get()); });
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        EXPECT_FALSE(writeAll(pipe.write.get(), bytes, blocking ? std::nullopt : std::optional(deadline)));
        pipe.write.reset();
        reader.join();
        EXPECT_EQ(got, bytes) << (blocking ? "blocking" : "non-blocking");
    }
}

TEST(WriteAll, AFullNonBlockingPipeFailsAtOnceOrAtTheDeadline) {
    Pipe pipe;
    ASSERT_EQ(::fcntl(pipe.write.get(), F_SETFL, O_NONBLOCK), 0);
    const std::string bytes(1024 * 1024, 'x');  // more than the pipe takes, nobody reads
    EXPECT_EQ(writeAll(pipe.write.get(), bytes), std::errc::resource_unavailable_try_again);
    EXPECT_EQ(writeAll(pipe.write.get(), bytes, std::chrono::steady_clock::now() + 50ms), std::errc::timed_out);
}

TEST(WriteAll, AGoneReaderIsAnErrorNotASignal) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    UniqueFd mine(fds[0]);
    ::close(fds[1]);
    // SIGPIPE would end this test program; sendAll must report EPIPE instead.
    EXPECT_EQ(sendAll(mine.get(), "answer"), std::errc::broken_pipe);
    EXPECT_EQ(writeAll(-1, "x"), std::errc::bad_file_descriptor);
    EXPECT_FALSE(writeAll(-1, ""));  // nothing to write is no failure
}

}  // namespace
}  // namespace qf
