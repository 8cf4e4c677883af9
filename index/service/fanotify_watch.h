#pragma once
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/unique_fd.h"

namespace qf::index {

// Change notification for whole file systems through fanotify, available to
// a service with CAP_SYS_ADMIN (and CAP_DAC_READ_SEARCH to name folders).
// One mark covers a file system, where inotify needs one watch per folder:
// no watch limit, no kernel memory per folder, and a faster crawl.
class FanotifyWatch {
public:
    // One change: `name` in the folder identified by `folderKey`. An empty
    // name means the folder itself.
    struct Change {
        uint32_t mask = 0;  // FAN_* bits
        std::string folderKey;
        std::string name;
    };

    // Not valid when fanotify with folder names is missing or not permitted.
    FanotifyWatch();
    bool valid() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }

    // Makes sure the file system of the open folder `dirFd` (device `device`)
    // is marked. False when it cannot be: its folders need inotify watches.
    bool cover(int dirFd, dev_t device);
    size_t fileSystems() const;
    // Forgets the file system on `device`, unmounted: its marks went with it,
    // and a disk mounted there again must be marked anew.
    void forget(dev_t device);

    // Reads changes ready now (at most about a megabyte of them; poll again
    // for more). `overflow` is set when the kernel dropped events, so that
    // the caller can catch up.
    std::vector<Change> read(bool& overflow);

    // The path of a folder named by a change, or nothing when it is gone or
    // on a file system this watch did not mark.
    std::optional<std::string> folderPath(const std::string& folderKey) const;

private:
    UniqueFd fd_;
    mutable std::mutex mutex_;
    std::unordered_set<dev_t> covered_;
    std::unordered_set<dev_t> refused_;
    // File-system id -> a folder on it, to open handles against.
    struct Anchor {
        std::string path;
        dev_t device;
    };
    std::unordered_map<std::string, Anchor> anchors_;
};

}  // namespace qf::index
