#include "base/index_service.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "base/error.h"
#include "base/spawn.h"
#include "base/unix_socket.h"
#include "protocol/helper_programs.h"
#include "protocol/index_protocol.h"

namespace qf {

namespace {

bool mayRun(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

// What the service wrote to its error stream before it ended, without
// waiting for end of file: a service that started keeps no copy of the pipe,
// but a failure must never make us wait.
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
    const std::string prefix = std::string(protocol::kServiceExecutable) + ": ";
    if (text.starts_with(prefix)) text.erase(0, prefix.size());
    return text;
}

// Runs "<executable> --daemonize", which returns once the service listens
// (or another instance holds the lock), or fails with its reason on its
// error stream. Nothing else of ours is handed over: the service must never
// keep the caller's pipes open.
Expected<void> startIndexService(const std::string& executable) {
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return Error::lastErrno("cannot start the index service");
    UniqueFd readEnd(errPipe[0]), writeEnd(errPipe[1]);
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
    SpawnOptions options;
    options.standardInput = options.standardOutput = kNullStream;
    options.standardError = writeEnd.get();
    auto pid = spawnProcess(executable, {"--daemonize"}, options);
    writeEnd.reset();
    if (!pid) return std::move(pid).error().within("cannot start " + executable);
    auto end = waitForExit(*pid);
    if (!end) return std::move(end).error().within("cannot start " + executable);
    if (!end->bySignal && end->status == 0) return {};
    std::string reason = firstLine(drain(readEnd.get()));
    if (reason.empty()) {
        reason = std::string("it ended ") + (end->bySignal ? "by signal " : "with status ") +
                 std::to_string(end->status) + " (see " + protocol::logPath() + ")";
    }
    return Error(Errc::unavailable, "the index service cannot start: " + reason);
}

}  // namespace

std::string findIndexServiceExecutable(const std::string& programDir) {
    if (std::string found = protocol::findHelperProgram(protocol::kServiceExecutable, nullptr, programDir);
        !found.empty())
        return found;
    const std::string name = std::string("/") + protocol::kServiceExecutable;
    const std::string path = protocol::envOr("PATH");
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        // Only absolute folders: an empty or relative entry would run
        // whatever lies in the current folder.
        std::string candidate = path.substr(start, end - start);
        if (!candidate.empty() && candidate[0] == '/' && mayRun(candidate.append(name))) return candidate;
        start = end + 1;
    }
    return {};
}

bool indexServiceListening() { return connectUnixSocket(protocol::socketPath()).hasValue(); }

Expected<UniqueFd> connectOrStartIndexService(const std::string& executable, std::chrono::milliseconds patience) {
    const std::string socket = protocol::socketPath();
    if (auto fd = connectUnixSocket(socket)) return std::move(*fd);
    if (!mayRun(executable)) {
        return Error(Errc::unavailable,
                     "the index service is not running and " +
                         (executable.empty() ? std::string(protocol::kServiceExecutable) : executable) +
                         " cannot be run");
    }
    // A start returns as soon as it sees another instance's lock. That one
    // may be about to listen (started in the same moment), or about to end
    // (killed, its threads still exiting): so while nothing answers, start
    // again now and then; once the lock is free, a new service takes over.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto nextStart = std::chrono::steady_clock::now();
    while (true) {
        if (std::chrono::steady_clock::now() >= nextStart) {
            if (auto started = startIndexService(executable); !started) return std::move(started).error();
            nextStart = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
        }
        if (auto fd = connectUnixSocket(socket)) return std::move(*fd);
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Error(Errc::unavailable, "the index service did not start (socket " + socket + ")");
}

}  // namespace qf
