#include "core/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

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
    if (!pid) return pid.error().code();
    {
        std::lock_guard guard(lock_);
        pid_ = *pid;
    }
    // Our copy of the write end must go, or the reader never sees end of file.
    writeEnd.reset();
    readEnd_ = std::move(readEnd);
    return {};
}

std::string ChildProcess::readAll(const std::function<bool(std::string_view head)>& watch) {
    std::string out;
    if (!readEnd_) return out;
    // Into blocks that are never cleared first, then copied once into a
    // result of the exact size: growing one string by doubling cleared and
    // copied several times the answer's size.
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    std::vector<std::unique_ptr<char[]>> blocks;
    std::size_t inLast = kBlock;
    bool watching = static_cast<bool>(watch);
    for (;;) {
        if (inLast == kBlock) {
            blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
            inLast = 0;
        }
        const ssize_t n = ::read(readEnd_.get(), blocks.back().get() + inLast, kBlock - inLast);
        if (n > 0) {
            inLast += static_cast<std::size_t>(n);
            if (watching && blocks.size() == 1) watching = !watch(std::string_view(blocks[0].get(), inLast));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    readEnd_.reset();
    const std::size_t total = (blocks.size() - 1) * kBlock + inLast;
    out.reserve(total);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        out.append(blocks[i].get(), i + 1 < blocks.size() ? kBlock : inLast);
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
