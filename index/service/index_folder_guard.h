#pragma once
#include <sys/types.h>

#include <optional>
#include <string>

namespace qf::index {

// Tells when the service's own folder no longer leads to it: its socket or
// its lock file removed or replaced, as when the folder is deleted (at
// logout the desktop removes $XDG_RUNTIME_DIR). No client can reach such a
// service and a second one may start beside it, so it ends instead of
// holding its memory for nobody.
//
// Two lstat calls every few seconds notice every way the files can go (a
// folder mounted over included), where a watch on the folder would cost an
// inotify instance, of which a user has few.
class IndexFolderGuard {
public:
    // The socket and lock as they are now; `lockFd` is the lock held open.
    IndexFolderGuard(std::string socketPath, std::string lockPath, int lockFd);

    // How often lost() is worth asking.
    static constexpr int checkEverySeconds() { return 2; }
    // Why the folder no longer leads here, or nothing.
    std::optional<std::string> lost() const;
    // Whether another file stands at the lock path now: another service
    // may hold it, and with it the snapshot.
    bool lockTakenOver() const;

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    static std::optional<Identity> identityAt(const std::string& path);

    std::string socketPath_, lockPath_;
    std::optional<Identity> socket_, lock_;
};

}  // namespace qf::index
