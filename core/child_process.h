#pragma once
// One child process with its standard output on a pipe, standard input and
// standard error on the null device, started in a process group of its own
// so that terminating it also reaches the commands a shell started for it.
#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qf {

struct Termination {
    bool bySignal = false;  // ended through an uncaught signal
    int status = 0;         // exit status, or the signal number
};

class ChildProcess {
public:
    // argv[0] is the executable path; env holds "NAME=value" entries.
    ChildProcess(std::string executable, std::vector<std::string> arguments,
                 std::vector<std::string> environment);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the child; on failure returns the system's description of the error.
    std::optional<std::string> start();
    // Reads standard output until every writer has closed it.
    std::string readAll();
    // Blocks until the child has ended and reaps it.
    Termination wait();
    bool isRunning();
    // SIGTERM to the child's process group, unless the child was reaped.
    void terminate();

private:
    void closeReadEnd();

    std::string executable_;
    std::vector<std::string> arguments_;
    std::vector<std::string> environment_;
    int readFd_ = -1;
    pid_t pid_ = -1;
    // Guards reaping against terminate(): once reaped, the pid may name
    // another process, so no signal may be sent after that.
    std::mutex lock_;
    bool reaped_ = false;
    Termination termination_;
};

// The current environment with PATH led by folder, for children whose
// command lines name helper tools that live there.
std::vector<std::string> environmentWithPathFirst(const std::string& folder);

}  // namespace qf
