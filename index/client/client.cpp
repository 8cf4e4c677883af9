#include "index/client/client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "base/unix_socket.h"
#include "base/write_all.h"
#include "index/client/wire.h"
#include "protocol/index_protocol.h"

namespace qf::index {
namespace {

// Waits until fd can be read or the deadline passes; ETIMEDOUT then.
Expected<void> waitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
    while (true) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return failedWith(ETIMEDOUT);
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready > 0) return {};
        if (ready < 0 && errno != EINTR) return failedWith(errno);
    }
}

}  // namespace

Expected<void> exchange(int fd, const Request& request, const std::function<bool(const ReplyRecord&)>& onRecord,
                        Deadline deadline) {
    if (deadline && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
        return Error::lastErrno("cannot ask the index service");
    // A service that refuses (busy, say) may answer and close before the
    // request is taken: its reason is still there to read, and says more
    // than the broken pipe.
    std::optional<Error> unsent;
    if (std::error_code e = sendAll(fd, encodeRequest(request), deadline)) {
        if (e != std::errc::broken_pipe && e != std::errc::connection_reset)
            return Error(e, "cannot ask the index service");
        unsent = Error(e, "cannot ask the index service");
    }
    std::string buffer;
    char chunk[64 * 1024];
    size_t consumed = 0;
    while (true) {
        if (deadline) {
            if (auto ready = waitReadable(fd, *deadline); !ready)
                return std::move(ready).error().within("no answer from the index service");
        }
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0 && unsent) return std::move(*unsent);
        if (n < 0) return Error::lastErrno("the index service's answer broke off");
        if (n == 0) return Error(Errc::unavailable, "the index service closed the connection early");
        buffer.append(chunk, static_cast<size_t>(n));
        while (true) {
            size_t end = buffer.find('\0', consumed);
            if (end == std::string::npos) break;
            if (end > consumed) {
                ReplyRecord r{buffer[consumed], std::string_view(buffer).substr(consumed + 1, end - consumed - 1)};
                if (!onRecord(r)) return failedWith(ECANCELED);
                if (r.tag == qf::protocol::kTagEnd) return {};
            }
            consumed = end + 1;
        }
        buffer.erase(0, consumed);
        consumed = 0;
    }
}

Expected<ServiceStatus> askStatus(int fd, Deadline deadline) {
    Request request;
    request.op = Request::Op::status;
    ServiceStatus status;
    std::string refusal;
    // A status is a few kilobytes; more is not a status.
    constexpr size_t kMostBytes = size_t{1} << 20;
    size_t bytes = 0;
    auto read = exchange(
        fd, request,
        [&](const ReplyRecord& r) {
            bytes += r.payload.size();
            if (r.tag == qf::protocol::kTagStatusField) readStatusField(status, r.payload);
            if (r.tag == qf::protocol::kTagEnd && r.payload != "0") refusal = r.payload;
            return bytes <= kMostBytes;
        },
        deadline);
    if (!read && read.error() == std::errc::operation_canceled)
        return Error(Errc::badData, "the index service's status is larger than any status");
    if (!read) return std::move(read).error();
    if (!refusal.empty()) return Error(Errc::refused, refusal);
    return status;
}

Expected<ServiceStatus> queryStatus(const std::string& socketPath, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // A local connect does not wait for the service to accept; the rest
    // waits at most until the deadline.
    auto socket = connectUnixSocket(socketPath);
    if (!socket) return std::move(socket).error().within("cannot reach the index service at " + socketPath);
    return askStatus(socket->get(), deadline);
}

}  // namespace qf::index
