#pragma once
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "base/unique_fd.h"
#include "folder_reader.h"
#include "index_state.h"
#include "service_options.h"
#include "watches.h"

namespace qf::index {

struct CrawlProgress {
    bool idle = true;
    size_t queued = 0;
    uint64_t foldersScanned = 0;
    int64_t startMs = 0;  // steadyMs() when the crawl began
    int64_t endMs = 0;    // 0 while it runs
};

// Reads folders into the index: a queue of folders worked by a pool of
// threads. A folder whose time has not moved is not listed again, but the
// times of its files are still compared (a file written in place keeps its
// folder's time).
//
// Locking: `queueMutex_` guards the queue and the idle state; it is taken
// after `state.mutex` when both are held, never before it.
class Crawler {
public:
    Crawler(IndexState& state, Watches& watches, const ServiceOptions& options);
    ~Crawler();
    Crawler(const Crawler&) = delete;
    Crawler& operator=(const Crawler&) = delete;

    void start();
    // Ends the threads and drops what is still queued. Safe to call twice.
    void stop();

    // Queues the folder `entry` to be read even when its time is unchanged,
    // with everything below it. Needs `state.mutex` (any hold), so that no
    // renumbering slips in between finding the entry and queueing it.
    void queueNewFolder(uint32_t entry) { queueFolder(entry, true, true); }
    // Queues the folder `entry` to be read (even when its time is unchanged
    // when `force`), and what is below it when `recurse`; new subfolders are
    // read either way. Needs `state.mutex` (any hold).
    void queueFolder(uint32_t entry, bool force, bool recurse);
    // Queues the roots (a catch-up) or only the unwatched folders (their
    // periodic rescan). Takes `state.mutex` shared.
    void catchUp(bool onlyUnwatched);
    // Lists every folder again, also those whose time is unchanged: what a
    // setting no longer leaves out is found. Needs `state.mutex` (any hold).
    void relistAll();

    // Neither lock needed; safe to call under `state.mutex`.
    bool idle() const;
    CrawlProgress progress() const;

private:
    struct ScanTask {
        uint32_t entry = kNoEntry;
        UniqueFd fd;             // the open folder, or none to open it by path
        bool force = false;      // list even when the folder's time is unchanged
        bool recurse = true;     // also visit known subfolders
        dev_t parentDevice = 0;  // 0: do not check for a pruned mount
    };
    struct ChildFolder {
        uint32_t entry;
        std::string name;
    };
    struct KnownItem {
        uint32_t entry;
        std::string name;
        EntryType type;
        int64_t mtime;
        uint32_t birth;
    };

    void push(std::vector<ScanTask> tasks);
    void workerLoop();
    void scanFolder(ScanTask task);
    // Opens the task's folder when it came without a descriptor. Takes
    // `state.mutex` shared.
    UniqueFd openFolder(const ScanTask& task);
    // Compares the times of a folder's known items (not folders) with the
    // file system and takes the new ones; false when an item is gone or has
    // changed type, so that the folder must be listed again. Takes
    // `state.mutex` exclusively, only to write.
    bool refreshKnownTimes(int fd, const std::vector<KnownItem>& items);
    // Merges a fresh listing into the folder's children. Needs
    // `state.mutex` exclusively.
    void applyListing(uint32_t folder, int fd, bool recurse, std::vector<ListedItem>& items,
                      std::vector<ChildFolder>& childFolders);
    // Needs `state.mutex` (shared).
    bool isPrunedByName(uint32_t folder, const ListedItem& item) const;
    // Whether the settings leave the item `name` of `folder` out;
    // `folderPath` is filled on first need. Needs `state.mutex` (shared).
    bool isLeftOut(uint32_t folder, std::string_view name, bool isFolder, std::string& folderPath) const;

    IndexState& state_;
    Watches& watches_;
    const ServiceOptions& options_;

    mutable std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::vector<ScanTask> queue_;  // guarded by queueMutex_
    size_t active_ = 0;            // folders being read; guarded by queueMutex_
    bool stopping_ = false;        // guarded by queueMutex_
    int64_t startMs_ = 0;          // guarded by queueMutex_
    int64_t endMs_ = 0;            // guarded by queueMutex_
    std::atomic<int> queuedFds_{0};
    std::atomic<uint64_t> foldersScanned_{0};
    std::vector<std::thread> threads_;
};

}  // namespace qf::index
