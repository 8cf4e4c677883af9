#pragma once
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/unique_fd.h"
#include "index/service/fanotify_watch.h"
#include "index/service/index_state.h"
#include "index/service/service_options.h"

namespace qf::index {

// What reports changes to the index: fanotify marks on whole file systems
// where permitted, otherwise one inotify watch per folder, with the map
// from watch to folder entry. Folders that get no watch (the kernel's limit
// or `maxWatches` reached) are listed as unwatched, to be rescanned.
//
// Each function says which hold of `state.mutex` it needs; "takes" means
// it locks by itself and must be called without it.
class Watches {
public:
    Watches(IndexState& state, const ServiceOptions& options);

    int inotifyFd() const { return inotify_.get(); }
    FanotifyWatch* fanotify() const { return fanotify_.get(); }

    // Watches the open folder `fd`, entry `entry` on `device`. Takes the
    // mutex exclusively.
    void watch(int fd, uint32_t entry, dev_t device);
    // Forgets a watch the kernel dropped. Takes the mutex exclusively.
    void forget(int wd);
    // The folder entry an inotify watch reports on, or kNoEntry. Needs the
    // mutex (shared).
    uint32_t folderOf(int wd) const;
    // Drops the watch of folder `entry`, so that the next watch() adds one:
    // a disk mounted on it or unmounted from it is another folder. Needs the
    // mutex exclusively.
    void unwatch(uint32_t entry);
    // Removes `entry` with everything below it, and their watches. Needs
    // the mutex exclusively.
    void removeEntry(uint32_t entry);
    // Follows a compaction's renumbering (old index -> new). Needs the
    // mutex exclusively.
    void renumber(const std::vector<uint32_t>& remap);
    // Needs the mutex (shared).
    const std::unordered_set<uint32_t>& unwatched() const { return unwatched_; }

    // The inotify watches held, as many as the kernel holds for us.
    size_t count() const { return count_; }
    bool limitReached() const { return limitReached_; }

private:
    IndexState& state_;
    const size_t maxWatches_;
    const int rescanSeconds_;
    UniqueFd inotify_;
    std::unique_ptr<FanotifyWatch> fanotify_;  // null when not used
    // Guarded by state_.mutex.
    std::unordered_map<int, uint32_t> wdToEntry_;
    std::unordered_map<uint32_t, int> entryToWd_;
    std::unordered_set<uint32_t> unwatched_;
    std::atomic<size_t> count_{0};  // wdToEntry_.size(), readable without the mutex
    std::atomic<bool> limitReached_{false};
};

}  // namespace qf::index
