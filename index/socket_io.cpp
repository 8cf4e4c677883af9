#include "socket_io.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qf::index {

bool sendAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ensurePrivateFolder(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    if (path.empty()) return fail("empty path");
    // Parents are created as needed (private too: they are ours alone).
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string parent = path.substr(0, slash);
        if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) return fail(std::strerror(errno));
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return fail(std::strerror(errno));
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return fail(std::strerror(errno));
    if (S_ISLNK(st.st_mode)) return fail("a symbolic link, not followed");
    if (!S_ISDIR(st.st_mode)) return fail("not a folder");
    if (st.st_uid != ::geteuid()) return fail("owned by another user");
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return fail(std::strerror(errno));
    return true;
}

}  // namespace qf::index
