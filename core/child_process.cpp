#include "core/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace qf {

ChildProcess::ChildProcess(std::string executable, std::vector<std::string> arguments,
                           std::vector<std::string> environment)
    : executable_(std::move(executable)), arguments_(std::move(arguments)), environment_(std::move(environment)) {}

ChildProcess::~ChildProcess() {
    readEnd_.reset();
    bool abandoned;
    {
        std::lock_guard guard(lock_);
        abandoned = pid_ > 0 && !reaped_;
    }
    if (abandoned) {
        // Dropped while running: stop it rather than leave a zombie.
        terminate();
        wait();
    }
}

std::error_code ChildProcess::start() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return lastError();
    // An answer of 100,000 paths is megabytes: with the default 64 KiB
    // pipe the writer and the reader would take turns at every 64 KiB, each
    // waiting to be scheduled. A larger pipe where the system allows it.
    ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    SpawnOptions options;
    options.environment = environment_;
    options.standardInput = kNullStream;
    options.standardOutput = writeEnd.get();
    options.standardError = kNullStream;
    options.ownProcessGroup = true;
    auto pid = spawnProcess(executable_, arguments_, options);
    if (!pid) return pid.error();
    {
        std::lock_guard guard(lock_);
        pid_ = *pid;
    }
    // Our copy of the write end must go, or the reader never sees end of file.
    writeEnd.reset();
    readEnd_ = std::move(readEnd);
    return {};
}

std::string ChildProcess::readAll() {
    std::string out;
    if (!readEnd_) return out;
    // Straight into the result, which grows by doubling.
    std::size_t have = 0;
    for (;;) {
        if (out.size() - have < 65536) out.resize(std::max<std::size_t>(out.size() * 2, have + (1 << 20)));
        const ssize_t n = ::read(readEnd_.get(), out.data() + have, out.size() - have);
        if (n > 0) {
            have += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    out.resize(have);
    readEnd_.reset();
    return out;
}

Termination ChildProcess::wait() {
    if (pid_ <= 0) return {};
    {
        std::lock_guard guard(lock_);
        if (reaped_) return termination_;
    }
    // Wait without reaping, so that the pid stays ours while terminate()
    // might still signal it; reap under the lock.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    std::lock_guard guard(lock_);
    if (reaped_) return termination_;
    reaped_ = true;
    termination_ = waitForExit(pid_).valueOr(Termination{});
    return termination_;
}

bool ChildProcess::isRunning() {
    std::lock_guard guard(lock_);
    if (pid_ <= 0 || reaped_) return false;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid == 0;
}

void ChildProcess::terminate() {
    std::lock_guard guard(lock_);
    // The group outlives an ended shell while its pipeline still runs, so
    // signal the group as long as its leader's pid is still ours.
    if (pid_ > 0 && !reaped_) ::kill(-pid_, SIGTERM);
}

}  // namespace qf
