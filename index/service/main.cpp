// quillfind-indexd: the per-user index service behind mdfind.

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "base/start_thread.h"
#include "base/unique_fd.h"
#include "base/write_all.h"
#include "index/client/printable.h"
#include "index/service/index_folder_files.h"
#include "index/service/index_folder_guard.h"
#include "index/service/index_settings.h"
#include "index/service/log.h"
#include "index/service/mounts.h"
#include "index/service/private_folder.h"
#include "index/service/server.h"
#include "index/service/service.h"
#include "index/store/snapshot.h"
#include "protocol/build_info.h"
#include "protocol/index_protocol.h"

namespace {

using namespace qf::index;
using qf::Expected;
using qf::startThread;
namespace p = qf::protocol;

constexpr const char* kUsage =
    "usage: quillfind-indexd [--daemonize | --foreground] | --version\n"
    "Indexes file names for mdfind. Settings: $XDG_CONFIG_HOME/quillfind/index.conf\n"
    "(roots, exclude, hidden, network; SIGHUP reads it again). Roots: $QUILLFIND_INDEX_ROOTS\n"
    "(colon-separated), the file's, or every local disk file system; socket, lock and\n"
    "snapshot: $QUILLFIND_INDEX_DIR or $XDG_RUNTIME_DIR/quillfind and ~/.cache/quillfind.\n";

int envInt(const char* name, int fallback) {
    std::string v = p::envOr(name);
    if (v.empty()) return fallback;
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    return (end && *end == '\0' && n >= 0 && n < 1000000) ? static_cast<int>(n) : fallback;
}

// Tells the waiting parent how the start went, once: one status byte,
// then for a failure ('F') the reason, which the parent passes on to
// its caller's error stream.
class ReadyPipe {
public:
    explicit ReadyPipe(int fd = -1) : fd_(fd) {}
    void tell(char status, const std::string& reason = {}) {
        if (!fd_) return;
        std::string message = status + reason;
        (void)qf::writeAll(fd_.get(), message);
        fd_.reset();
    }

private:
    qf::UniqueFd fd_;
};

// The first parent's end of the ready pipe: exits as the start went. The
// parents of a fork leave with _Exit: the stdio buffers and exit handlers
// they share with the child are the child's to finish.
[[noreturn]] void awaitReady(int fd) {
    std::string message;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        message.append(buf, static_cast<size_t>(n));
    }
    char status = message.empty() ? '\0' : message[0];
    if (status == 'R' || status == 'A') std::_Exit(0);
    if (message.size() > 1) {
        qf::writeStderrLine("quillfind-indexd: " + escapeControls(message.substr(1)) + "\n");
    }
    std::_Exit(1);
}

// Detaches from the caller: new session, no controlling terminal, standard
// streams to /dev/null and the log. The first parent waits for the ready
// byte so that its caller can connect as soon as it returns. A log that
// cannot be opened safely is reported in `logError`.
ReadyPipe daemonize(std::optional<qf::Error>& logError) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) std::exit(1);
    pid_t pid = ::fork();
    if (pid < 0) std::exit(1);
    if (pid > 0) {
        ::close(fds[1]);
        awaitReady(fds[0]);
    }
    ::close(fds[0]);
    ::setsid();
    if (::fork() > 0) std::_Exit(0);
    // Descriptors inherited without close-on-exec (a caller's pipe, say)
    // would keep that caller waiting for end of file as long as we live.
    int ready = fds[1];
    if (ready != 3) {
        ::dup2(ready, 3);
        ::close(ready);
        ready = 3;
    }
    ::fcntl(ready, F_SETFD, FD_CLOEXEC);
    ::close_range(4, ~0u, 0);
    int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ::dup2(devnull, STDIN_FILENO);
    ::dup2(devnull, STDOUT_FILENO);
    auto log = openIndexFolderFile(p::logPath(), O_WRONLY | O_CREAT | O_APPEND);
    if (!log) logError = log.error();
    ::dup2(log ? log->get() : devnull, STDERR_FILENO);
    ::close(devnull);
    // Away from the caller's folder, so the service keeps no disk busy. Should
    // even "/" be refused, staying put only delays an unmount: not a reason
    // to fail the start.
    if (::chdir("/") != 0) return ReadyPipe(ready);
    return ReadyPipe(ready);
}

// Takes the signals until one ends the service, and ends it too when its
// folder no longer leads to it. Returns why it ends.
std::string waitForTheEnd(const sigset_t& signals, Service& service, const IndexFolderGuard& guard) {
    const timespec pause{IndexFolderGuard::checkEverySeconds(), 0};
    while (true) {
        int sig = ::sigtimedwait(&signals, nullptr, &pause);
        if (sig == SIGHUP) {
            service.reloadSettings();
        } else if (sig > 0) {
            return std::string("on ") + ::strsignal(sig);
        } else if (std::optional<std::string> why = guard.lost()) {
            return "as " + *why;
        }
    }
}

void raiseFileLimit() {
    rlimit rl{};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &rl);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The allocator would otherwise raise its thresholds after each large
    // block the crawl frees, and then keep megabytes of free memory at the
    // top of each thread's heap for good: fixed thresholds hand them back.
    ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 1 << 20);
    bool detach = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--daemonize")
            detach = true;
        else if (a == "--foreground")
            detach = false;
        else if (a == "--version") {
            std::printf("quillfind-indexd (Quillfind) %s\n", qf::build::kVersion);
            return 0;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "quillfind-indexd: unknown option %s\n%s", escapeControls(a).c_str(), kUsage);
            return 2;
        }
    }
    for (const std::string& folder : {p::runtimeDirectory(), p::cacheDirectory()}) {
        if (auto made = ensurePrivateFolder(folder); !made) {
            std::fprintf(stderr, "quillfind-indexd: %s\n", escapeControls(made.error().message()).c_str());
            return 1;
        }
    }
    std::optional<qf::Error> logError;
    ReadyPipe ready = detach ? daemonize(logError) : ReadyPipe();
    // Once detached, the reason goes back to the caller through the ready
    // pipe; in the foreground the log line is on the terminal already.
    auto startFailed = [&](const std::string& reason) {
        logLine(reason);
        ready.tell('F', reason);
        return 1;
    };

    // One instance per user (per index folder): the lock is held for life.
    auto opened = openIndexFolderFile(p::lockPath(), O_RDWR | O_CREAT);
    if (!opened) return startFailed("cannot open the lock file " + opened.error().message());
    qf::UniqueFd lock = std::move(*opened);
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return startFailed("cannot lock " + p::lockPath() + ": " + std::strerror(errno));
        ready.tell('A');
        if (!detach) std::fprintf(stderr, "quillfind-indexd: already running\n");
        return 0;
    }
    if (logError) return startFailed("cannot open the log " + logError->message());
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(lock.get(), 0) == 0) [[maybe_unused]]
        ssize_t n = ::pwrite(lock.get(), pid.data(), pid.size(), 0);

    // Every thread inherits this mask; the main thread alone takes the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    raiseFileLimit();

    ServiceOptions options;
    std::optional<std::vector<std::string>> environmentRoots = rootsFromEnvironment();
    options.rootsFixed = environmentRoots.has_value();
    if (environmentRoots) options.roots = std::move(*environmentRoots);
    options.settingsPath = indexSettingsPath();
    // For tests: a tree that stands in for "/" as the default root.
    if (std::vector<std::string> system = resolveRoots({p::envOr("QUILLFIND_INDEX_SYSTEM_ROOT", "/")}); !system.empty())
        options.systemRoot = system.front();
    options.snapshotPath = p::snapshotPath();
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    options.crawlThreads = std::min(16u, std::max(4u, cores * 2));
    options.searchThreads = cores;
    options.rescanSeconds = std::max(1, envInt("QUILLFIND_INDEX_RESCAN_SECONDS", 60));
    options.scrubPeriod = std::chrono::seconds(std::max(1, envInt("QUILLFIND_INDEX_SCRUB_SECONDS", 24 * 60 * 60)));
    options.maxWatches = static_cast<size_t>(envInt("QUILLFIND_INDEX_MAX_WATCHES", 0));
    options.compactMinDead = static_cast<size_t>(std::max(1, envInt("QUILLFIND_INDEX_COMPACT_MIN_DEAD", 100000)));
    options.useFanotify = envInt("QUILLFIND_INDEX_FANOTIFY", 1) != 0;
    if (options.rootsFixed && options.roots.empty()) logLine("no folder to index");

    if (int stale = removeStaleSnapshotTemps(options.snapshotPath))
        logLine("removed " + std::to_string(stale) + " temporary snapshot file(s) left by an interrupted save");
    Service service(options);
    service.loadSnapshot();
    Server server(service);
    if (auto listening = server.listen(p::socketPath()); !listening) return startFailed(listening.error().message());
    // A service without all its threads would leave the index incomplete
    // without saying so: it does not start, and the caller learns why.
    // What did start stops, and the snapshot on disk stays as it was.
    Expected<void> started = service.start();
    Expected<std::thread> serverThread =
        started ? startThread([&] { server.run(); }, "the connections") : std::move(started).error();
    if (!serverThread) {
        service.stop(Service::OnStop::keepSnapshot);
        return startFailed(serverThread.error().message());
    }
    logLine("listening on " + p::socketPath());
    ready.tell('R');

    const IndexFolderGuard guard(p::socketPath(), p::lockPath(), lock.get());
    logLine("stopping " + waitForTheEnd(signals, service, guard));
    // Answers in flight break off; the server joins their threads before
    // run() returns, so nothing touches the service once it stops.
    server.stop();
    serverThread->join();
    // A service that took the folder over owns the snapshot now too.
    service.stop(guard.lockTakenOver() ? Service::OnStop::keepSnapshot : Service::OnStop::saveSnapshot);
    logLine("stopped");
    return 0;
}
