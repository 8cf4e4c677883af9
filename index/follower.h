#pragma once
#include <sys/types.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "base/unique_fd.h"
#include "mount_table.h"
#include "reconfigure.h"

namespace qf::index {

// Follows what decides the index from outside: the settings file (its
// folder watched, its times compared each second, and on request) and the
// mount table. One thread; changes are applied through reconfigure.h.
class Follower {
public:
    explicit Follower(const IndexParts& parts);
    ~Follower();
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // Reads the settings and the mounts and puts them in force; call once,
    // before the snapshot is loaded.
    void loadInitial();
    // Adds the roots and starts following. Call after the crawler started.
    void start();
    // Ends the thread. Safe to call twice.
    void stop();
    // Asks for the settings file to be read again (SIGHUP). Safe from any
    // thread.
    void reload();

private:
    // What tells whether the file changed without reading it.
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        int64_t size = 0, mtimeNs = 0, ctimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };

    void run();
    Stamp stampNow() const;
    void watchFolder();
    void reloadSettings(bool evenIfUnchanged);
    void followMounts();

    IndexParts parts_;
    MountTable mounts_;
    std::vector<MountPoint> lastMounts_;  // the watcher thread's alone after start
    UniqueFd wakeup_;                     // eventfd: stop
    UniqueFd reload_;                     // eventfd: read the settings again
    UniqueFd inotify_;                    // the settings folder
    int folderWd_ = -1;
    Stamp stamp_;
    std::thread thread_;
};

}  // namespace qf::index
