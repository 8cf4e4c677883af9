#pragma once
// Reaching the index service, starting it first when none runs. The window
// and mdfind both go through here.
#include <chrono>
#include <string>

#include "base/expected.h"
#include "base/unique_fd.h"

namespace qf {

// The folder holding the running program, from /proc/self/exe.
std::string programDirectory();

// The service executable: beside the program in programDir when it may be
// run, else the first one on PATH; empty when there is none.
std::string findIndexServiceExecutable(const std::string& programDir);

// Runs "<executable> --daemonize" and waits for it: it returns once the
// service accepts connections, or once it found another instance holding
// the lock. Its streams go to the null device, so the service never keeps
// the caller's pipes open.
std::error_code startIndexService(const std::string& executable);

// A connection to the service. When none answers, starts executable and
// keeps trying for up to `patience`. The error is one line for the user.
Expected<UniqueFd, std::string> connectOrStartIndexService(const std::string& executable,
                                                           std::chrono::milliseconds patience);

}  // namespace qf
