#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include <sys/types.h>

#include "base/expected.h"
#include "base/unique_fd.h"

namespace qf::index {

class Service;

struct ServerOptions {
    // Connections answered at once, each on a thread of its own. One more
    // waits up to `busyWait` for a place, then is told the service is busy.
    size_t maxConnections = 64;
    std::chrono::milliseconds busyWait{1000};
    // A client that sends its request no faster, or reads its answer no
    // faster, loses its connection.
    std::chrono::seconds requestTimeout{5};
    std::chrono::seconds replyTimeout{30};
    // Starts a connection's thread; throws (std::system_error) when it
    // cannot: no memory for a stack, too many threads. Tests replace it.
    std::function<std::thread(std::function<void()>)> startThread = [](std::function<void()> work) {
        return std::thread(std::move(work));
    };
};

// The service's Unix socket: one thread per connection, same user only.
// Every connection thread is owned and joined: once stopped, run() shuts
// their sockets down and joins them before it returns.
class Server {
public:
    explicit Server(Service& service, ServerOptions options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Replaces a stale socket file and listens; the socket is mode 0600.
    Expected<void> listen(const std::string& socketPath);
    // Accepts connections until stop() is called from another thread, then
    // ends every connection and joins its thread.
    void run();
    // Ends run() from another thread, and with it the connections in
    // flight: their answers break off. Removes the socket file while it is
    // still ours.
    void stop();

private:
    struct Connection {
        UniqueFd socket;  // closed only once its thread has ended
        std::thread thread;
        bool done = false;  // guarded by mutex_
    };

    // Answers `socket` on a thread of its own, or refuses it when none starts.
    void accept(UniqueFd socket);
    void handle(Connection& connection);
    // Joins the threads that have ended and closes their sockets.
    void reapFinished();
    void joinAll();
    // Waits up to busyWait for fewer than maxConnections to run.
    enum class Place { free, busy, stopping };
    Place waitForPlace();

    Service& service_;
    const ServerOptions options_;
    UniqueFd listener_;
    UniqueFd wakeup_;
    std::string socketPath_;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    std::mutex mutex_;
    std::condition_variable placeFree_;
    std::list<Connection> connections_;  // guarded by mutex_; a list, so each handler's stays put
    size_t running_ = 0;                 // guarded by mutex_: connections not yet done
    bool stopping_ = false;              // guarded by mutex_
};

// True when the peer of a connected Unix socket runs as our user.
bool peerIsSameUser(int fd);

// Answers a connection that will not be served with an end record that
// says why, without waiting for it to be read.
void refuseConnection(UniqueFd connection, std::string_view reason);

}  // namespace qf::index
