#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "request.h"
#include "unique_fd.h"

namespace qf::index {

// Connects to the running service; an invalid fd when none answers.
UniqueFd connectToService(const std::string& socketPath);

// The service executable: beside the running program or in the private
// helpers' folder of an installed copy.
std::string serviceExecutable();

// Connects, starting the service first when none runs, and waits at most
// `patience` for it to accept connections. `error` says why it failed.
UniqueFd connectOrStartService(std::chrono::milliseconds patience, std::string* error);

// One reply record from the service.
struct ReplyRecord {
  char tag;
  std::string_view payload;
};

// Sends the request and hands each reply record to `onRecord` as it
// arrives, up to and including the end record. Returns false when the
// connection broke before the end record or `onRecord` returned false.
bool exchange(int fd, const Request& request, const std::function<bool(const ReplyRecord&)>& onRecord);

}  // namespace qf::index
