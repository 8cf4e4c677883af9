#include "app/stale_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/debug_log.h"

namespace qf {

std::string printablePath(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

Expected<void> clearStalePath(const std::string& path, mode_t keptType, const std::string& purpose) {
    struct stat st {};
    const std::string shown = printablePath(path);
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return {};
        return Error::lastErrno(shown);
    }
    if ((st.st_mode & S_IFMT) == keptType) return {};
    if (st.st_uid != ::geteuid()) {
        return Error(Errc::refused, shown + " belongs to user " + std::to_string(st.st_uid) +
                                        " and is in the way of the " + purpose + "; remove it");
    }
    const bool folder = S_ISDIR(st.st_mode);
    // ENOENT: a start beside this one cleared it first.
    if ((folder ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0 || errno == ENOENT) {
        dbg("instance removed stale " + std::string(folder ? "folder" : "file") + " " + shown);
        return {};
    }
    if (folder && (errno == ENOTEMPTY || errno == EEXIST)) {
        return Error(Errc::refused,
                     shown + " is a folder with content in the way of the " + purpose + "; move it away");
    }
    return Error::lastErrno("cannot remove " + shown + " from the way of the " + purpose);
}

}  // namespace qf
