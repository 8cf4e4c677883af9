#include "ui/index_progress.h"

#include <fcntl.h>
#include <index_protocol.h>
#include <poll.h>
#include <sys/socket.h>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "base/unix_socket.h"

namespace qf {

namespace {

bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, static_cast<int>(left.count())) == 1;
}

std::string_view valueAfter(std::string_view text, std::string_view key) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        if (line.substr(0, key.size()) == key) return line.substr(key.size());
        pos = end + 1;
    }
    return {};
}

}  // namespace

std::optional<IndexStatus> parseIndexStatus(std::string_view text) {
    IndexStatus status;
    const std::string_view state = valueAfter(text, "state: ");
    if (state == "crawling") {
        status.crawling = true;
    } else if (state != "idle") {
        return std::nullopt;
    }
    const std::string_view entries = valueAfter(text, "entries: ");
    const auto [end, error] = std::from_chars(entries.data(), entries.data() + entries.size(), status.entries);
    if (entries.empty() || error != std::errc() || end != entries.data() + entries.size() || status.entries < 0)
        return std::nullopt;
    return status;
}

std::optional<IndexStatus> queryIndexStatus(const std::string& socketPath, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // A local connect does not wait for the service to accept; what follows
    // waits at most until the deadline.
    auto socket = connectUnixSocket(socketPath);
    if (!socket || ::fcntl(socket->get(), F_SETFL, O_NONBLOCK) != 0) return std::nullopt;
    std::string request = std::string(protocol::kKeyOp) + "=status";
    request.append(2, '\0');  // the field's end and the request's end
    for (std::size_t sent = 0; sent < request.size();) {
        if (!waitFor(socket->get(), POLLOUT, deadline)) return std::nullopt;
        const ssize_t n = ::send(socket->get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return std::nullopt;
        sent += static_cast<std::size_t>(n);
    }
    // Records: a tag byte, the payload, a NUL; the end record comes last.
    constexpr std::size_t kMostExpected = std::size_t{64} * 1024;
    std::string reply, status;
    std::size_t parsed = 0;
    char buffer[4096];
    while (reply.size() < kMostExpected) {
        if (!waitFor(socket->get(), POLLIN, deadline)) return std::nullopt;
        const ssize_t n = ::recv(socket->get(), buffer, sizeof(buffer), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return std::nullopt;  // closed before the end record
        reply.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = reply.find('\0', parsed)) != std::string::npos; parsed = end + 1) {
            const char tag = end > parsed ? reply[parsed] : '\0';
            if (tag == protocol::kTagStatus) status.append(reply, parsed + 1, end - parsed - 1);
            if (tag == protocol::kTagEnd) return parseIndexStatus(status);
        }
    }
    return std::nullopt;
}

QString crawlProgressText(long long entries) {
    const QString count = QLocale(QLocale::Chinese, QLocale::China).toString(entries);
    return QStringLiteral("索引建立中：已收录 %1 项 · 结果尚不完整").arg(count);
}

IndexProgress::IndexProgress(std::chrono::milliseconds interval, std::chrono::milliseconds patience, QObject* parent)
    : QObject(parent),
      interval_(interval),
      unansweredLeft_(
          static_cast<int>(std::max<long long>(1, patience.count() / std::max<long long>(1, interval.count())))) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &IndexProgress::poll);
    connect(&watcher_, &QFutureWatcherBase::finished, this, &IndexProgress::onAnswer);
}

IndexProgress::~IndexProgress() {
    timer_.stop();
    // The worker holds nothing of ours, but its answer must not arrive late.
    watcher_.waitForFinished();
}

void IndexProgress::start() { poll(); }

bool IndexProgress::polling() const { return timer_.isActive() || watcher_.isRunning(); }

void IndexProgress::poll() {
    const std::string socketPath = protocol::socketPath();
    const auto timeout = interval_;
    watcher_.setFuture(QtConcurrent::run([socketPath, timeout] { return queryIndexStatus(socketPath, timeout); }));
}

void IndexProgress::onAnswer() {
    const std::optional<IndexStatus> status = watcher_.result();
    if (!status) {
        if (--unansweredLeft_ > 0) timer_.start(interval_);
        return;
    }
    emit statusChanged(status->crawling, status->entries);
    if (status->crawling) timer_.start(interval_);
}

}  // namespace qf
