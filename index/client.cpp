#include "client.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

#include "helper_programs.h"
#include "index_protocol.h"
#include "socket_io.h"
#include "wire.h"

extern char** environ;

namespace qf::index {

UniqueFd connectToService(const std::string& socketPath) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof addr.sun_path) return {};
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return {};
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  return fd;
}

std::string serviceExecutable() {
  if (std::string found = qf::protocol::findHelperProgram(qf::protocol::kServiceExecutable); !found.empty())
    return found;
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return qf::protocol::kServiceExecutable;
  std::string self(buf, static_cast<size_t>(n));
  return self.substr(0, self.rfind('/') + 1) + qf::protocol::kServiceExecutable;
}

namespace {

// What a process wrote to a pipe before it ended, without waiting for
// end of file: a service that started keeps no copy of the pipe, but a
// failure must never make us wait.
std::string drain(int fd) {
  std::string text;
  char buf[1024];
  ssize_t n;
  while (text.size() < 4096 && (n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

// The reason in the service's first error line, without its name.
std::string firstLine(std::string text) {
  text = text.substr(0, text.find('\n'));
  constexpr std::string_view kPrefix = "quillfind-indexd: ";
  if (text.starts_with(kPrefix)) text.erase(0, kPrefix.size());
  return text;
}

// Runs "quillfind-indexd --daemonize", which returns once the service
// listens (or another instance holds the lock), or fails with its reason
// on its error stream. Its output goes nowhere else: the service must
// never keep our caller's pipes open.
bool startService(std::string* error) {
  std::string exe = serviceExecutable();
  if (::access(exe.c_str(), X_OK) != 0) {
    if (error) *error = "the index service is not running and " + exe + " cannot be run";
    return false;
  }
  int errPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    if (error) *error = std::string("cannot start the index service: ") + std::strerror(errno);
    return false;
  }
  UniqueFd readEnd(errPipe[0]), writeEnd(errPipe[1]);
  ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
  std::string flag = "--daemonize";
  char* argv[] = {exe.data(), flag.data(), nullptr};
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  writeEnd.reset();
  if (rc != 0) {
    if (error) *error = "cannot start " + exe + ": " + std::strerror(rc);
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  if (error) {
    std::string reason = firstLine(drain(readEnd.get()));
    *error = "the index service cannot start: " +
             (reason.empty() ? "it ended with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                                   " (see " + qf::protocol::logPath() + ")"
                             : reason);
  }
  return false;
}

}  // namespace

UniqueFd connectOrStartService(std::chrono::milliseconds patience, std::string* error) {
  const std::string socket = qf::protocol::socketPath();
  if (UniqueFd fd = connectToService(socket)) return fd;
  if (!startService(error)) return {};
  auto deadline = std::chrono::steady_clock::now() + patience;
  while (true) {
    if (UniqueFd fd = connectToService(socket)) return fd;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (error) *error = "the index service did not start (socket " + socket + ")";
  return {};
}

bool exchange(int fd, const Request& request, const std::function<bool(const ReplyRecord&)>& onRecord) {
  if (!sendAll(fd, encodeRequest(request))) return false;
  std::string buffer;
  char chunk[64 * 1024];
  size_t consumed = 0;
  while (true) {
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
    while (true) {
      size_t end = buffer.find('\0', consumed);
      if (end == std::string::npos) break;
      if (end > consumed) {
        ReplyRecord r{buffer[consumed], std::string_view(buffer).substr(consumed + 1, end - consumed - 1)};
        if (!onRecord(r)) return false;
        if (r.tag == qf::protocol::kTagEnd) return true;
      }
      consumed = end + 1;
    }
    buffer.erase(0, consumed);
    consumed = 0;
  }
}

}  // namespace qf::index
