// quillfind-indexd: the per-user index service behind mdfind.

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "index_protocol.h"
#include "log.h"
#include "mounts.h"
#include "server.h"
#include "service.h"
#include "socket_io.h"
#include "unique_fd.h"

namespace {

using namespace qf::index;
namespace p = qf::protocol;

constexpr const char* kUsage =
    "usage: quillfind-indexd [--daemonize]\n"
    "Indexes file names for mdfind. Roots: $QUILLFIND_INDEX_ROOTS (colon-separated)\n"
    "or every local disk file system; socket, lock and snapshot: $QUILLFIND_INDEX_DIR\n"
    "or $XDG_RUNTIME_DIR/quillfind and ~/.cache/quillfind.\n";

int envInt(const char* name, int fallback) {
  std::string v = p::envOr(name);
  if (v.empty()) return fallback;
  char* end = nullptr;
  long n = std::strtol(v.c_str(), &end, 10);
  return (end && *end == '\0' && n >= 0 && n < 1000000) ? static_cast<int>(n) : fallback;
}

// Tells the waiting parent how the start went, once.
class ReadyPipe {
 public:
  explicit ReadyPipe(int fd = -1) : fd_(fd) {}
  void tell(char status) {
    if (!fd_) return;
    [[maybe_unused]] ssize_t n = ::write(fd_.get(), &status, 1);
    fd_.reset();
  }

 private:
  UniqueFd fd_;
};

// Detaches from the caller: new session, no controlling terminal, standard
// streams to /dev/null and the log. The first parent waits for the ready
// byte so that its caller can connect as soon as it returns.
ReadyPipe daemonize() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) std::exit(1);
  pid_t pid = ::fork();
  if (pid < 0) std::exit(1);
  if (pid > 0) {
    ::close(fds[1]);
    char status = 0;
    ssize_t n;
    while ((n = ::read(fds[0], &status, 1)) < 0 && errno == EINTR) {
    }
    std::_Exit(n == 1 && (status == 'R' || status == 'A') ? 0 : 1);
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
  int log = ::open(p::logPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  ::dup2(log >= 0 ? log : devnull, STDERR_FILENO);
  if (log >= 0) ::close(log);
  ::close(devnull);
  ::chdir("/");
  return ReadyPipe(ready);
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
  bool detach = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--daemonize") detach = true;
    else if (a == "--foreground") detach = false;
    else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "quillfind-indexd: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  std::string error;
  if (!ensurePrivateFolder(p::runtimeDirectory(), &error) ||
      !ensurePrivateFolder(p::cacheDirectory(), &error)) {
    std::fprintf(stderr, "quillfind-indexd: %s\n", error.c_str());
    return 1;
  }
  ReadyPipe ready = detach ? daemonize() : ReadyPipe();

  // One instance per user (per index folder): the lock is held for life.
  UniqueFd lock(::open(p::lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    ready.tell('A');
    if (!detach) std::fprintf(stderr, "quillfind-indexd: already running\n");
    return 0;
  }
  std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(lock.get(), 0) == 0) [[maybe_unused]] ssize_t n = ::pwrite(lock.get(), pid.data(), pid.size(), 0);

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
  options.roots = configuredRoots();
  options.snapshotPath = p::snapshotPath();
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  options.crawlThreads = std::min(16u, std::max(4u, cores * 2));
  options.searchThreads = cores;
  options.rescanSeconds = std::max(1, envInt("QUILLFIND_INDEX_RESCAN_SECONDS", 60));
  options.maxWatches = static_cast<size_t>(envInt("QUILLFIND_INDEX_MAX_WATCHES", 0));
  options.compactMinDead = static_cast<size_t>(std::max(1, envInt("QUILLFIND_INDEX_COMPACT_MIN_DEAD", 100000)));
  options.useFanotify = envInt("QUILLFIND_INDEX_FANOTIFY", 1) != 0;
  if (options.roots.empty()) logLine("no folder to index");

  Service service(options);
  service.loadSnapshot();
  Server server(service);
  if (!server.listen(p::socketPath(), &error)) {
    logLine(error);
    ready.tell('F');
    return 1;
  }
  service.start();
  logLine("listening on " + p::socketPath());
  ready.tell('R');
  std::thread serverThread([&] { server.run(); });

  int sig = 0;
  while (::sigwait(&signals, &sig) != 0) {
  }
  logLine(std::string("stopping on ") + ::strsignal(sig));
  server.stop();
  serverThread.join();
  service.stop();
  logLine("stopped");
  // Connection threads still writing to slow clients end with the process.
  std::_Exit(0);
}
