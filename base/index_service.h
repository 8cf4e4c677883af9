#pragma once
// Reaching the index service, starting it first when none runs. The window
// and mdfind both go through here.
#include <chrono>
#include <string>

#include "base/expected.h"
#include "base/unique_fd.h"

namespace qf {

// The service executable as seen from programDir (beside it, or in the
// private helpers' folder of an installed copy), else the first one on
// PATH; empty when there is none.
std::string findIndexServiceExecutable(const std::string& programDir);

// True when something accepts connections on the service's socket.
bool indexServiceListening();

// A connection to the service. When none answers, starts executable
// ("--daemonize", which returns once the service listens or another
// instance holds the lock) and keeps trying for up to `patience`. The error
// is one line for the user: when the service could not start, its own
// reason.
Expected<UniqueFd> connectOrStartIndexService(const std::string& executable, std::chrono::milliseconds patience);

}  // namespace qf
