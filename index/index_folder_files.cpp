#include "index_folder_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace qf::index {

UniqueFd openIndexFolderFile(const std::string& path, int flags, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return UniqueFd();
    };
    UniqueFd fd(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd) return fail(errno == ELOOP ? "a symbolic link, not followed" : std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail("not a regular file");
    // Regular files ignore O_NONBLOCK; it is cleared all the same so that
    // nothing later depends on it.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace qf::index
