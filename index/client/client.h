#pragma once
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/expected.h"
#include "index/client/request.h"
#include "index/client/service_status.h"

namespace qf::index {

// One reply record from the service.
struct ReplyRecord {
    char tag;
    std::string_view payload;
};

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Sends the request and hands each reply record to `onRecord` as it
// arrives, up to and including the end record. Fails when the request
// cannot be sent, when the connection breaks before the end record, with
// ECANCELED when `onRecord` returns false, and with ETIMEDOUT when a
// deadline is given and passes (the socket is then made non-blocking). An
// end record that reports an error is handed over like any other.
Expected<void> exchange(int fd, const Request& request, const std::function<bool(const ReplyRecord&)>& onRecord,
                        Deadline deadline = std::nullopt);

// Asks for the service's status on a connected socket. The service's own
// error (from its end record) comes back as Errc::refused.
Expected<ServiceStatus> askStatus(int fd, Deadline deadline = std::nullopt);

// Connects to the service listening on `socketPath` and asks for its
// status, waiting at most `timeout` in all; never starts the service.
Expected<ServiceStatus> queryStatus(const std::string& socketPath, std::chrono::milliseconds timeout);

}  // namespace qf::index
