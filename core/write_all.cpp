#include "core/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace qf {

void writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void writeStderrLine(std::string_view line) { writeAll(STDERR_FILENO, line); }

}  // namespace qf
