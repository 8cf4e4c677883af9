#pragma once
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "base/expected.h"
#include "base/unique_fd.h"
#include "index/service/mount_table.h"
#include "index/service/reconfigure.h"
#include "index/service/root_watch.h"

namespace qf::index {

// Follows what decides the index from outside: the settings file (its
// folder watched, its times compared each second, and on request), the
// roots (a root that appears later is indexed then; one that goes is
// dropped) and the mount table. One thread; changes are applied through
// reconfigure.h.
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
    Expected<void> start();
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
    // Applies settings that could be used, and remembers them for checkRoots.
    void apply(const LoadedSettings& loaded, bool initial);
    // Puts in force the roots that appeared, drops those that went and reads
    // afresh those replaced by another folder; then follows them anew.
    void checkRoots();
    // One look; whether anything changed.
    bool checkRootsOnce();
    // Whether the folders watched changed.
    bool followRoots();
    // Milliseconds until the mount table is read again, or -1 when no
    // change waits.
    int mountsDueInMs() const;

    IndexParts parts_;
    MountTable mounts_;
    std::vector<MountPoint> lastMounts_;  // the watcher thread's alone after start
    int64_t mountsChangedMs_ = -1;        // steadyMs() of the latest change not yet read, or -1
    UniqueFd wakeup_;                     // eventfd: stop
    UniqueFd reload_;                     // eventfd: read the settings again
    UniqueFd inotify_;                    // the settings folder and the roots' folders
    int folderWd_ = -1;
    RootWatch roots_{inotify_.get()};
    // The settings last put in force; nothing while held.
    std::optional<LoadedSettings> inForce_;
    Stamp stamp_;
    std::thread thread_;
};

}  // namespace qf::index
