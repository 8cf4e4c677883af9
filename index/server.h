#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "base/unique_fd.h"

namespace qf::index {

class Service;

// The service's Unix socket: one thread per connection, same user only.
class Server {
public:
    explicit Server(Service& service) : service_(service) {}
    ~Server();

    // Replaces a stale socket file and listens; the socket is mode 0600.
    bool listen(const std::string& socketPath, std::string* error);
    // Accepts connections until stop() is called from another thread.
    void run();
    // Ends run() and waits a little for connections in flight.
    void stop();

private:
    void handle(UniqueFd connection);

    Service& service_;
    UniqueFd listener_;
    UniqueFd wakeup_;
    std::string socketPath_;
    std::mutex mutex_;
    std::condition_variable idle_;
    int connections_ = 0;
};

// True when the peer of a connected Unix socket runs as our user.
bool peerIsSameUser(int fd);

}  // namespace qf::index
