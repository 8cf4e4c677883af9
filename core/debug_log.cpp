#include "core/debug_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "core/write_all.h"

namespace qf {

std::string debugLogPath() {
    if (const char* path = std::getenv("QUILLFIND_DEBUG_LOG"); path && *path) return path;
    return "/tmp/quillfind-debug.log";
}

void dbg(std::string_view message) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    std::string line = std::to_string(ms) + "ms ";
    line.append(message);
    line.push_back('\n');
    // Appending with O_CREAT needs no replace-by-rename to create the file,
    // so a line written by another thread at that moment is never lost; one
    // write per line keeps concurrent lines whole. The log sits in a shared
    // folder: never follow a link planted there, and keep the queries private.
    const int fd = ::open(debugLogPath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    writeAll(fd, line);
    ::close(fd);
}

}  // namespace qf
