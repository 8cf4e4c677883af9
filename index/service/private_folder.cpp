#include "index/service/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qf::index {

Expected<void> ensurePrivateFolder(const std::string& path) {
    auto refuse = [&](const char* why) { return Error(Errc::badData, path + ": " + why); };
    if (path.empty()) return Error(Errc::invalidInput, "the index folder's path is empty");
    // Parents are created as needed (private too: they are ours alone).
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string parent = path.substr(0, slash);
        if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) return Error::lastErrno(path);
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return Error::lastErrno(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return Error::lastErrno(path);
    if (S_ISLNK(st.st_mode)) return refuse("a symbolic link, not followed");
    if (!S_ISDIR(st.st_mode)) return refuse("not a folder");
    if (st.st_uid != ::geteuid()) return refuse("owned by another user");
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return Error::lastErrno(path);
    return {};
}

}  // namespace qf::index
