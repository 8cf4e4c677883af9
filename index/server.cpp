#include "server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/unix_socket.h"
#include "fold.h"
#include "index_protocol.h"
#include "log.h"
#include "query_parser.h"
#include "retry_backoff.h"
#include "service.h"
#include "socket_io.h"
#include "wire.h"

namespace qf::index {

namespace {

// A term that folds to nothing (a lone combining mark, a zero-width joiner)
// would be contained in every name; it is refused like the empty term.
std::optional<ParseError> checkFoldedNameTerm(std::string_view term) {
    if (auto e = checkNameTerm(term)) return e;
    if (foldName(term).empty())
        return ParseError{
            "the name text has no character left once case and diacritics are ignored "
            "(a lone combining mark or joiner cannot be searched for)"};
    return std::nullopt;
}

constexpr size_t kMaxRequest = 1 << 20;

bool readRequest(int fd, std::string& out) {
    char buf[4096];
    while (out.size() < kMaxRequest) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() >= 2 && out[out.size() - 1] == '\0' && out[out.size() - 2] == '\0') return true;
    }
    return false;
}

void setTimeout(int fd, int option, int seconds) {
    timeval tv{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

}  // namespace

bool peerIsSameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    return cred.uid == ::geteuid();
}

Server::~Server() { stop(); }

bool Server::listen(const std::string& socketPath, std::string* error) {
    auto addr = qf::unixSocketAddress(socketPath);
    if (!addr) {
        if (error) *error = "cannot listen on " + socketPath + ": " + addr.error().message();
        return false;
    }
    listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    wakeup_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    // We hold the lock, so a socket file left here is stale.
    ::unlink(socketPath.c_str());
    mode_t old = ::umask(077);
    int rc = ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&*addr), sizeof(sockaddr_un));
    ::umask(old);
    if (rc != 0 || ::chmod(socketPath.c_str(), 0600) != 0 || ::listen(listener_.get(), 64) != 0) {
        if (error) *error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
        return false;
    }
    socketPath_ = socketPath;
    return true;
}

void Server::run() {
    // Out of descriptors, a pending connection keeps the listener readable:
    // accepting again at once would spin. The loop pauses instead, 50 ms at
    // first and up to a second, until connections close.
    RetryBackoff exhausted(50, 1000);
    while (true) {
        if (exhausted.failing()) {
            pollfd wake{wakeup_.get(), POLLIN, 0};
            if (::poll(&wake, 1, static_cast<int>(exhausted.delayMs())) > 0) return;
        }
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wakeup_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        UniqueFd conn(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!conn) {
            // The pause is taken above, so the backoff needs no clock here.
            if ((errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) &&
                exhausted.failed(0, std::strerror(errno)))
                logLine(std::string("cannot accept connections (") + std::strerror(errno) +
                        "); waiting for some to close");
            continue;
        }
        if (exhausted.succeeded()) logLine("accepting connections again");
        if (!peerIsSameUser(conn.get())) {
            logLine("refused a connection from another user");
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            ++connections_;
        }
        std::thread([this, c = std::move(conn)]() mutable { handle(std::move(c)); }).detach();
    }
}

void Server::handle(UniqueFd connection) {
    setTimeout(connection.get(), SO_RCVTIMEO, 5);
    setTimeout(connection.get(), SO_SNDTIMEO, 30);
    std::string raw;
    if (readRequest(connection.get(), raw)) {
        std::optional<Request> request = decodeRequest(raw);
        std::optional<ParseError> refused;
        if (request && request->op == Request::Op::nameContains) refused = checkFoldedNameTerm(request->value);
        if (!request) {
            sendAll(connection.get(), replyRecord(qf::protocol::kTagEnd, "malformed request"));
        } else if (refused) {
            sendAll(connection.get(), replyRecord(qf::protocol::kTagEnd, refused->message));
        } else {
            bool alive = true;
            std::string error;
            bool whole = service_.answer(
                *request, [&](const std::string& bytes) { return alive = sendAll(connection.get(), bytes); }, &error);
            // An answer that is not whole must never end like a success.
            if (alive) sendAll(connection.get(), replyRecord(qf::protocol::kTagEnd, whole ? "0" : error));
        }
    }
    connection.reset();
    std::lock_guard lock(mutex_);
    if (--connections_ == 0) idle_.notify_all();
}

void Server::stop() {
    if (wakeup_) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeup_.get(), &one, sizeof one);
    }
    std::unique_lock lock(mutex_);
    idle_.wait_for(lock, std::chrono::seconds(2), [&] { return connections_ == 0; });
    if (!socketPath_.empty()) {
        ::unlink(socketPath_.c_str());
        socketPath_.clear();
    }
}

}  // namespace qf::index
