#pragma once
#include <cstdint>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/expected.h"
#include "base/unique_fd.h"
#include "index/service/crawler.h"
#include "index/service/index_state.h"
#include "index/service/watches.h"

namespace qf::index {

// Follows what the watches report: one thread reads inotify and fanotify
// events, maps each to a folder entry and a name, and updates the index
// (new folders go to the crawler). A lost event (queue overflow) makes the
// crawler catch up.
//
// Every function here takes `state.mutex` itself and is called without it,
// except inBatchGeneration. The folder-handle caches and the batch fields
// are the watcher thread's alone.
class LiveUpdates {
public:
    LiveUpdates(IndexState& state, Watches& watches, Crawler& crawler);
    ~LiveUpdates();
    LiveUpdates(const LiveUpdates&) = delete;
    LiveUpdates& operator=(const LiveUpdates&) = delete;

    Expected<void> start();
    // Ends the watcher thread. Safe to call twice.
    void stop();

private:
    // One change below a folder, from either kind of watch.
    struct Change {
        uint32_t folder;
        std::string name;  // empty: the folder itself
        bool removed = false, added = false, timeChanged = false;
    };

    void run();
    void readInotify();
    void readFanotify();
    uint32_t folderForKey(const std::string& key);
    void applyChanges(std::vector<Change>& changes);
    void refreshChild(uint32_t folder, const std::string& name);
    void removeChild(uint32_t folder, const std::string& name);
    void refreshFolderTime(uint32_t folder);
    // Whether the entry indices of this batch still hold; marks the batch
    // stale when not. Needs `state.mutex`.
    bool inBatchGeneration();

    IndexState& state_;
    Watches& watches_;
    Crawler& crawler_;
    UniqueFd wakeup_;  // eventfd that ends the watcher's poll
    std::thread thread_;
    // Folder handles resolved by the watcher thread, valid for one generation.
    std::unordered_map<std::string, uint32_t> keyToFolder_;
    std::unordered_set<std::string> keysOutsideRoots_;
    std::vector<uint32_t> keyRoots_;  // the roots keysOutsideRoots_ lie outside of
    uint64_t keyGeneration_ = 0;
    // The numbering the current batch of changes was mapped in; a batch
    // caught by a compaction is stale and ends with a catch-up.
    uint64_t batchGeneration_ = 0;
    bool stale_ = false;
};

}  // namespace qf::index
