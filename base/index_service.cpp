#include "base/index_service.h"

#include <unistd.h>

#include <climits>
#include <thread>

#include "base/spawn.h"
#include "base/unix_socket.h"
#include "index_protocol.h"

namespace qf {

namespace {

bool mayRun(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

}  // namespace

std::string programDirectory() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    const std::string self(buffer, static_cast<size_t>(n));
    return self.substr(0, self.rfind('/'));
}

std::string findIndexServiceExecutable(const std::string& programDir) {
    const std::string name = std::string("/") + protocol::kServiceExecutable;
    if (!programDir.empty() && mayRun(programDir + name)) return programDir + name;
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

std::error_code startIndexService(const std::string& executable) {
    SpawnOptions options;
    options.standardInput = options.standardOutput = options.standardError = kNullStream;
    auto end = runAndWait(executable, {"--daemonize"}, options);
    if (!end) return end.error();
    return {};
}

Expected<UniqueFd, std::string> connectOrStartIndexService(const std::string& executable,
                                                           std::chrono::milliseconds patience) {
    const std::string socket = protocol::socketPath();
    if (auto fd = connectUnixSocket(socket)) return std::move(*fd);
    if (!mayRun(executable)) {
        return Unexpected<std::string>{"the index service is not running and " +
                                       (executable.empty() ? std::string(protocol::kServiceExecutable) : executable) +
                                       " cannot be run"};
    }
    if (std::error_code e = startIndexService(executable))
        return Unexpected<std::string>{"cannot start " + executable + ": " + e.message()};
    // A second instance started in the same moment returns as soon as it
    // sees the first one's lock, perhaps before that one listens.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        if (auto fd = connectUnixSocket(socket)) return std::move(*fd);
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Unexpected<std::string>{"the index service did not start (socket " + socket + ")"};
}

}  // namespace qf
