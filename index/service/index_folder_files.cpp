#include "index/service/index_folder_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace qf::index {

Expected<UniqueFd> openIndexFolderFile(const std::string& path, int flags) {
    UniqueFd fd(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd && errno == ELOOP) return Error(Errc::badData, path + ": a symbolic link, not followed");
    if (!fd) return Error::lastErrno(path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return Error::lastErrno(path);
    if (!S_ISREG(st.st_mode)) return Error(Errc::badData, path + ": not a regular file");
    // Regular files ignore O_NONBLOCK; it is cleared all the same so that
    // nothing later depends on it.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace qf::index
