#include "base/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace qf {

namespace {

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

    int prepare(const SpawnOptions& options) {
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigfillset(&defaults);
        sigdelset(&defaults, SIGKILL);
        sigdelset(&defaults, SIGSTOP);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (options.ownProcessGroup) flags |= POSIX_SPAWN_SETPGROUP;
        if (int e = posix_spawnattr_setflags(&attr_, flags)) return e;
        if (int e = posix_spawnattr_setpgroup(&attr_, 0)) return e;
        if (int e = posix_spawnattr_setsigmask(&attr_, &none)) return e;
        if (int e = posix_spawnattr_setsigdefault(&attr_, &defaults)) return e;
        if (int e = route(0, options.standardInput, O_RDONLY)) return e;
        if (int e = route(1, options.standardOutput, O_WRONLY)) return e;
        return route(2, options.standardError, O_WRONLY);
    }

    posix_spawnattr_t* attr() { return &attr_; }
    posix_spawn_file_actions_t* actions() { return &actions_; }

private:
    int route(int stream, int source, int nullMode) {
        if (source == kInheritStream) return 0;
        if (source == kNullStream) return posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null", nullMode, 0);
        if (source < 0) return EBADF;
        return posix_spawn_file_actions_adddup2(&actions_, source, stream);
    }

    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t actions_{};
};

}  // namespace

Expected<pid_t> spawnProcess(const std::string& executable, const std::vector<std::string>& arguments,
                             const SpawnOptions& options) {
    SpawnSetup setup;
    if (int e = setup.prepare(options)) return failedWith(e);
    std::vector<std::string> argv;
    argv.reserve(arguments.size() + 1);
    argv.push_back(executable);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto argp = pointers(argv);
    std::vector<std::string> environment = options.environment.value_or(std::vector<std::string>{});
    auto envp = pointers(environment);
    pid_t pid = -1;
    const int e = ::posix_spawn(&pid, executable.c_str(), setup.actions(), setup.attr(), argp.data(),
                                options.environment ? envp.data() : environ);
    if (e != 0) return failedWith(e);
    return pid;
}

Termination decodeWaitStatus(int status) {
    if (WIFSIGNALED(status)) return {true, WTERMSIG(status)};
    return {false, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
}

Expected<Termination> waitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return failedWith(errno);
    }
    return decodeWaitStatus(status);
}

Expected<Termination> runAndWait(const std::string& executable, const std::vector<std::string>& arguments,
                                 const SpawnOptions& options) {
    auto pid = spawnProcess(executable, arguments, options);
    if (!pid) return Unexpected{pid.error()};
    return waitForExit(*pid);
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
