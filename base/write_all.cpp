#include "base/write_all.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/error.h"

namespace qf {

namespace {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Waits until fd takes bytes again or the deadline passes.
std::error_code waitForRoom(int fd, std::chrono::steady_clock::time_point deadline) {
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return errorOf(ETIMEDOUT);
        const int timeout = static_cast<int>(std::min<long long>(left.count(), 1 << 30));
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, timeout);
        if (ready > 0) return {};
        if (ready == 0) return errorOf(ETIMEDOUT);
        if (errno != EINTR) return lastError();
    }
}

template <typename Put>
std::error_code putAll(int fd, std::string_view bytes, const Deadline& deadline, Put put) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = put(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return errorOf(EIO);  // no progress and no reason
        if (errno == EINTR) continue;
        if (!deadline || (errno != EAGAIN && errno != EWOULDBLOCK)) return lastError();
        if (auto ec = waitForRoom(fd, *deadline)) return ec;
    }
    return {};
}

}  // namespace

std::error_code writeAll(int fd, std::string_view bytes,
                         std::optional<std::chrono::steady_clock::time_point> deadline) {
    return putAll(fd, bytes, deadline, [](int f, const char* p, std::size_t n) { return ::write(f, p, n); });
}

std::error_code sendAll(int fd, std::string_view bytes, std::optional<std::chrono::steady_clock::time_point> deadline) {
    return putAll(fd, bytes, deadline,
                  [](int f, const char* p, std::size_t n) { return ::send(f, p, n, MSG_NOSIGNAL); });
}

void writeStderrLine(std::string_view line) { (void)writeAll(STDERR_FILENO, line); }

}  // namespace qf
