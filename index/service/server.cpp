#include "index/service/server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <thread>

#include "base/unix_socket.h"
#include "base/write_all.h"
#include "index/client/query_parser.h"
#include "index/client/wire.h"
#include "index/service/log.h"
#include "index/service/retry_backoff.h"
#include "index/service/service.h"
#include "index/store/fold.h"
#include "protocol/index_protocol.h"

namespace qf::index {

namespace {

// A term that folds to nothing (a lone combining mark, a zero-width joiner)
// would be contained in every name; it is refused like the empty term.
Expected<void> checkFoldedNameTerm(std::string_view term) {
    if (auto checked = checkNameTerm(term); !checked) return checked;
    if (foldName(term).empty())
        return Error(Errc::invalidInput,
                     "the name text has no character left once case and diacritics are ignored "
                     "(a lone combining mark or joiner cannot be searched for)");
    return {};
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

void setTimeout(int fd, int option, std::chrono::seconds seconds) {
    timeval tv{static_cast<time_t>(seconds.count()), 0};
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

}  // namespace

bool peerIsSameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    return cred.uid == ::geteuid();
}

void refuseConnection(UniqueFd connection, std::string_view reason) {
    ::fcntl(connection.get(), F_SETFL, O_NONBLOCK);
    // Whatever of the request has arrived is read first: closing on unread
    // bytes would reset the connection, and the client could lose the
    // reason to the reset. The record itself always fits the empty buffer.
    char buf[4096];
    while (::recv(connection.get(), buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
    (void)sendAll(connection.get(), replyRecord(qf::protocol::kTagEnd, reason));
    ::shutdown(connection.get(), SHUT_RDWR);
}

Server::Server(Service& service, ServerOptions options) : service_(service), options_(std::move(options)) {}

Server::~Server() {
    stop();
    joinAll();
}

Expected<void> Server::listen(const std::string& socketPath) {
    const std::string context = "cannot listen on " + socketPath;
    auto addr = qf::unixSocketAddress(socketPath);
    if (!addr) return std::move(addr).error().within(context);
    listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener_) return Error::lastErrno(context);
    wakeup_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeup_) return Error::lastErrno(context);
    // We hold the lock, so a socket file left here is stale.
    ::unlink(socketPath.c_str());
    mode_t old = ::umask(077);
    int rc = ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&*addr), sizeof(sockaddr_un));
    ::umask(old);
    if (rc != 0 || ::chmod(socketPath.c_str(), 0600) != 0 || ::listen(listener_.get(), 64) != 0)
        return Error::lastErrno(context);
    socketPath_ = socketPath;
    struct stat st {};
    if (::lstat(socketPath.c_str(), &st) == 0) {
        socketDevice_ = st.st_dev;
        socketInode_ = st.st_ino;
    }
    return {};
}

void Server::run() {
    // Out of descriptors, a pending connection keeps the listener readable:
    // accepting again at once would spin. The loop pauses instead, 50 ms at
    // first and up to a second, until connections close.
    RetryBackoff exhausted(50, 1000);
    while (true) {
        if (exhausted.failing()) {
            pollfd wake{wakeup_.get(), POLLIN, 0};
            if (::poll(&wake, 1, static_cast<int>(exhausted.delayMs())) > 0) break;
        }
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wakeup_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            logLine(std::string("cannot wait for connections: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents) break;
        reapFinished();
        const Place place = waitForPlace();
        if (place == Place::stopping) break;
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
        if (place == Place::busy) {
            refuseConnection(std::move(conn), "the index service is busy: " + std::to_string(options_.maxConnections) +
                                                  " questions at once; ask again");
            continue;
        }
        accept(std::move(conn));
    }
    joinAll();
}

void Server::accept(UniqueFd socket) {
    Connection* connection;
    {
        std::lock_guard lock(mutex_);
        connection = &connections_.emplace_back();
        connection->socket = std::move(socket);
        ++running_;
    }
    try {
        std::thread thread = options_.startThread([this, connection] { handle(*connection); });
        std::lock_guard lock(mutex_);
        connection->thread = std::move(thread);
    } catch (const std::exception& e) {
        // No thread (std::system_error) or no memory for the work handed
        // to it: this one question goes unanswered, the service and the
        // other connections go on.
        UniqueFd refused;
        {
            std::lock_guard lock(mutex_);
            refused = std::move(connection->socket);
            connections_.pop_back();
            --running_;
        }
        logLine(std::string("cannot start a thread for a connection: ") + e.what());
        refuseConnection(std::move(refused),
                         std::string("the index service cannot take this question now (") + e.what() + "); ask again");
    }
}

void Server::handle(Connection& connection) {
    const int fd = connection.socket.get();
    setTimeout(fd, SO_RCVTIMEO, options_.requestTimeout);
    setTimeout(fd, SO_SNDTIMEO, options_.replyTimeout);
    std::string raw;
    if (readRequest(fd, raw)) {
        Expected<Request> request = decodeRequest(raw);
        Expected<void> searchable = {};
        if (request && request->op == Request::Op::nameContains) searchable = checkFoldedNameTerm(request->value);
        if (!request) {
            (void)sendAll(fd, replyRecord(qf::protocol::kTagEnd, request.error().message()));
        } else if (!searchable) {
            (void)sendAll(fd, replyRecord(qf::protocol::kTagEnd, searchable.error().message()));
        } else {
            bool alive = true;
            auto whole =
                service_.answer(*request, [&](const std::string& bytes) { return alive = !sendAll(fd, bytes); });
            // An answer that is not whole must never end like a success.
            if (alive) (void)sendAll(fd, replyRecord(qf::protocol::kTagEnd, whole ? "0" : whole.error().message()));
        }
    }
    // The client sees the end at once; the descriptor itself is closed
    // when the thread is joined, so that stop() never shuts down a number
    // that was closed and given to another file meanwhile.
    ::shutdown(fd, SHUT_RDWR);
    std::lock_guard lock(mutex_);
    connection.done = true;
    --running_;
    placeFree_.notify_all();
}

Server::Place Server::waitForPlace() {
    std::unique_lock lock(mutex_);
    const bool ended =
        placeFree_.wait_for(lock, options_.busyWait, [&] { return stopping_ || running_ < options_.maxConnections; });
    return stopping_ ? Place::stopping : ended ? Place::free : Place::busy;
}

void Server::reapFinished() {
    std::list<Connection> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (it->done) finished.splice(finished.end(), connections_, it);
            it = next;
        }
    }
    for (Connection& c : finished) c.thread.join();
}

void Server::joinAll() {
    std::list<Connection> all;
    {
        std::lock_guard lock(mutex_);
        // Answers in flight break off at their next read or write.
        for (Connection& c : connections_)
            if (!c.done) ::shutdown(c.socket.get(), SHUT_RDWR);
        all.splice(all.end(), connections_);
    }
    for (Connection& c : all) c.thread.join();
}

void Server::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    service_.endWaits();
    placeFree_.notify_all();
    if (wakeup_) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeup_.get(), &one, sizeof one);
    }
    if (!socketPath_.empty()) {
        // Another service may have put its own socket here since.
        struct stat st {};
        if (::lstat(socketPath_.c_str(), &st) == 0 && st.st_dev == socketDevice_ && st.st_ino == socketInode_)
            ::unlink(socketPath_.c_str());
        socketPath_.clear();
    }
}

}  // namespace qf::index
