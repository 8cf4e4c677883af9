#pragma once
// Helpers shared by the index tests: temporary trees, child processes with
// a private environment, and polling with deadlines.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qf::index::testing {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "qf-index-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  std::string path_;
};

inline void touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}

template <typename Pred>
bool pollUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

struct ProcessResult {
  int exitCode = -1;  // -1 when ended by a signal
  std::string out;
  std::string err;
};

inline std::string binDir() {
  const char* d = std::getenv("QF_BIN_DIR");
  return d ? d : "";
}

// The current environment with `overrides` applied (an empty value removes).
inline std::vector<std::string> environmentWith(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    std::string key = kv.substr(0, kv.find('='));
    if (!overrides.count(key)) env.push_back(kv);
  }
  for (auto& [k, v] : overrides)
    if (!v.empty()) env.push_back(k + "=" + v);
  return env;
}

inline std::vector<char*> cStrings(std::vector<std::string>& v) {
  std::vector<char*> out;
  for (auto& s : v) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Runs a program to completion, reading its output; killed after `limit`.
inline ProcessResult runProcess(std::vector<std::string> argv, const std::map<std::string, std::string>& env,
                                std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  ProcessResult r;
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return r;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> envs = environmentWith(env);
  auto cargv = cStrings(argv);
  auto cenv = cStrings(envs);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, cargv[0], &fa, nullptr, cargv.data(), cenv.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (rc != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    r.err = "spawn failed";
    return r;
  }
  auto deadline = std::chrono::steady_clock::now() + limit;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  char buf[65536];
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !fds[k].revents) continue;
      ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
      if (n <= 0) {
        fds[k].fd = -1;
        --open;
      } else {
        (k == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::vector<std::string> splitLines(const std::string& text, char sep = '\n') {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(sep, pos);
    if (end == std::string::npos) end = text.size();
    if (end > pos) lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

// Alive and not a zombie (a daemon's zombie waits for init to reap it).
inline bool processAlive(pid_t pid) {
  if (pid <= 0 || ::kill(pid, 0) != 0) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() || text[close + 2] != 'Z';
}

inline pid_t pidFromLockFile(const std::string& lockPath) {
  std::ifstream in(lockPath);
  pid_t pid = 0;
  in >> pid;
  return pid;
}

// An isolated service world: its own roots and index folder, and the
// service it starts is stopped with SIGTERM at the end.
class ServiceWorld {
 public:
  ServiceWorld() {
    fs::create_directories(root());
  }
  ~ServiceWorld() { stopService(); }

  std::string root() const { return dir_ / "root"; }
  std::string indexDir() const { return dir_ / "idx"; }
  std::string file(const std::string& rel) const { return root() + "/" + rel; }

  std::map<std::string, std::string> env() const {
    return {{"QUILLFIND_INDEX_DIR", indexDir()},
            {"QUILLFIND_INDEX_ROOTS", root()},
            {"XDG_RUNTIME_DIR", dir_ / "xdg-runtime"},
            {"XDG_CACHE_HOME", dir_ / "xdg-cache"},
            {"QUILLFIND_DEBUG_LOG", dir_ / "debug.log"}};
  }

  ProcessResult mdfind(std::vector<std::string> args,
                       const std::map<std::string, std::string>& extraEnv = {}) const {
    args.insert(args.begin(), binDir() + "/mdfind");
    auto e = env();
    for (auto& [k, v] : extraEnv) e[k] = v;
    return runProcess(args, e);
  }

  std::vector<std::string> lines(const std::vector<std::string>& args) const {
    return splitLines(mdfind(args).out);
  }

  pid_t servicePid() const { return pidFromLockFile(indexDir() + "/indexd.lock"); }

  // Waits until the crawl is over, as --status reports it.
  bool waitIdle() const {
    return pollUntil([&] { return mdfind({"--status"}).out.find("state: idle") != std::string::npos; });
  }

  void stopService() {
    pid_t pid = servicePid();
    if (!processAlive(pid)) return;
    ::kill(pid, SIGTERM);
    pollUntil([&] { return !processAlive(pid); });
  }

 private:
  TempDir dir_;
};

}  // namespace qf::index::testing
