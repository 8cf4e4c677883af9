#pragma once
// One child process with its standard output on a pipe, standard input and
// standard error on the null device, started in a process group of its own
// so that terminating it also reaches the commands a shell started for it.
#include <sys/types.h>

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/spawn.h"
#include "base/unique_fd.h"

namespace qf {

class ChildProcess {
public:
    // argv[0] is the executable path; env holds "NAME=value" entries.
    ChildProcess(std::string executable, std::vector<std::string> arguments, std::vector<std::string> environment);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the child; an error when it could not be started.
    std::error_code start();
    // Reads standard output until every writer has closed it. `watch`, if
    // given, sees the output read so far after each read, as long as it fits
    // in one block, until it returns true.
    std::string readAll(const std::function<bool(std::string_view head)>& watch = {});
    // Blocks until the child has ended and reaps it.
    Termination wait();
    bool isRunning();
    // SIGTERM to the child's process group, unless the child was reaped.
    void terminate();

private:
    std::string executable_;
    std::vector<std::string> arguments_;
    std::vector<std::string> environment_;
    UniqueFd readEnd_;
    pid_t pid_ = -1;
    // Guards reaping against terminate(): once reaped, the pid may name
    // another process, so no signal may be sent after that.
    std::mutex lock_;
    bool reaped_ = false;
    Termination termination_;
};

}  // namespace qf
