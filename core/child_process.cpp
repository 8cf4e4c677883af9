#include "core/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

extern char** environ;

namespace qf {

namespace {

std::string describe(int error) {
    return std::generic_category().message(error);
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// posix_spawn attributes and file actions, released on every path.
class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawnattr_init(&attr_);
        posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    int prepare(int stdoutFd) {
        // Own process group (pgid = pid), default dispositions and an empty
        // mask, whatever the calling thread had blocked or ignored.
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigfillset(&defaults);
        sigdelset(&defaults, SIGKILL);
        sigdelset(&defaults, SIGSTOP);
        if (int e = posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                         POSIX_SPAWN_SETSIGDEF))
            return e;
        if (int e = posix_spawnattr_setpgroup(&attr_, 0)) return e;
        if (int e = posix_spawnattr_setsigmask(&attr_, &none)) return e;
        if (int e = posix_spawnattr_setsigdefault(&attr_, &defaults)) return e;
        if (int e = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0)) return e;
        if (int e = posix_spawn_file_actions_adddup2(&actions_, stdoutFd, 1)) return e;
        return posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
    }

    posix_spawnattr_t* attr() { return &attr_; }
    posix_spawn_file_actions_t* actions() { return &actions_; }

private:
    posix_spawnattr_t attr_;
    posix_spawn_file_actions_t actions_;
};

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

Termination decode(int status) {
    if (WIFSIGNALED(status)) return {true, WTERMSIG(status)};
    return {false, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
}

}  // namespace

ChildProcess::ChildProcess(std::string executable, std::vector<std::string> arguments,
                           std::vector<std::string> environment)
    : executable_(std::move(executable)),
      arguments_(std::move(arguments)),
      environment_(std::move(environment)) {}

ChildProcess::~ChildProcess() {
    closeReadEnd();
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

std::optional<std::string> ChildProcess::start() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return describe(errno);
    // An answer of 100,000 paths is megabytes: with the default 64 KiB
    // pipe the writer and the reader would take turns at every 64 KiB, each
    // waiting to be scheduled. A larger pipe where the system allows it.
    ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
    Fd readEnd(fds[0]);
    Fd writeEnd(fds[1]);
    SpawnSetup setup;
    if (int e = setup.prepare(writeEnd.get())) return describe(e);
    std::vector<std::string> argv = arguments_;
    argv.insert(argv.begin(), executable_);
    auto argp = pointers(argv);
    auto envp = pointers(environment_);
    pid_t pid = -1;
    const int e = ::posix_spawn(&pid, executable_.c_str(), setup.actions(), setup.attr(), argp.data(),
                                envp.data());
    if (e != 0) return describe(e);
    {
        std::lock_guard guard(lock_);
        pid_ = pid;
    }
    // Our copy of the write end must go, or the reader never sees end of file.
    writeEnd.reset();
    readFd_ = readEnd.release();
    return std::nullopt;
}

std::string ChildProcess::readAll() {
    std::string out;
    if (readFd_ < 0) return out;
    // Straight into the result, which grows by doubling.
    std::size_t have = 0;
    for (;;) {
        if (out.size() - have < 65536) out.resize(std::max<std::size_t>(out.size() * 2, have + (1 << 20)));
        const ssize_t n = ::read(readFd_, out.data() + have, out.size() - have);
        if (n > 0) {
            have += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    out.resize(have);
    closeReadEnd();
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
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    termination_ = decode(status);
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

void ChildProcess::closeReadEnd() {
    if (readFd_ >= 0) ::close(readFd_);
    readFd_ = -1;
}

std::vector<std::string> environmentWithPathFirst(const std::string& folder) {
    std::vector<std::string> env;
    std::string path = "/usr/local/bin:/usr/bin:/bin";
    for (char** e = environ; e && *e; ++e) {
        std::string entry(*e);
        if (entry.rfind("PATH=", 0) == 0) {
            path = entry.substr(5);
        } else {
            env.push_back(std::move(entry));
        }
    }
    env.push_back("PATH=" + (folder.empty() ? path : folder + ":" + path));
    return env;
}

}  // namespace qf
