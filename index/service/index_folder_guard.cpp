#include "index/service/index_folder_guard.h"

#include <sys/stat.h>

#include <cerrno>

namespace qf::index {

IndexFolderGuard::IndexFolderGuard(std::string socketPath, std::string lockPath, int lockFd)
    : socketPath_(std::move(socketPath)), lockPath_(std::move(lockPath)), socket_(identityAt(socketPath_)) {
    struct stat st {};
    if (::fstat(lockFd, &st) == 0) lock_ = Identity{st.st_dev, st.st_ino};
}

std::optional<IndexFolderGuard::Identity> IndexFolderGuard::identityAt(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

std::optional<std::string> IndexFolderGuard::lost() const {
    // A path that cannot be examined for another reason (EACCES, say)
    // proves nothing: only a missing or different file counts.
    auto check = [](const std::string& path, const std::optional<Identity>& ours,
                    const char* what) -> std::optional<std::string> {
        if (!ours) return std::nullopt;
        std::optional<Identity> now = identityAt(path);
        if (!now && (errno == ENOENT || errno == ENOTDIR)) return std::string(what) + " " + path + " was removed";
        if (now && *now != *ours) return std::string(what) + " " + path + " was replaced";
        return std::nullopt;
    };
    if (auto why = check(socketPath_, socket_, "the socket")) return why;
    return check(lockPath_, lock_, "the lock file");
}

bool IndexFolderGuard::lockTakenOver() const {
    std::optional<Identity> now = identityAt(lockPath_);
    return now && lock_ && *now != *lock_;
}

}  // namespace qf::index
