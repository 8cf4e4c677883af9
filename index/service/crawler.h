#pragma once
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "base/expected.h"
#include "base/unique_fd.h"
#include "index/service/folder_reader.h"
#include "index/service/folder_retries.h"
#include "index/service/index_state.h"
#include "index/service/service_options.h"
#include "index/service/watches.h"

namespace qf::index {

struct CrawlProgress {
    bool idle = true;       // no folder queued or being read, every time read
    bool namesDone = true;  // no folder queued or being listed: every name is searchable
    size_t queued = 0;
    // Folders listed whose items' times are still to be read.
    size_t timesPending = 0;
    uint64_t foldersScanned = 0;
    int64_t startMs = 0;     // steadyMs() when the crawl began
    int64_t namesEndMs = 0;  // when its names were all in; 0 until then
    int64_t endMs = 0;       // when its times were all in too; 0 until then
    // Folders whose listing failed and is tried again: until they are
    // listed the index lacks what they hold.
    size_t unlisted = 0;
    std::string unlistedReason;  // why the latest of them failed
};

// Reads folders into the index: a queue of folders worked by a pool of
// threads. A folder whose time has not moved is not listed again, but the
// times of its files are still compared (a file written in place keeps its
// folder's time).
//
// Names first: a folder listed for the first time has its names added at
// once and its files' times read later, by a second queue that is worked
// only while no folder waits to be listed. Examining every file is most of
// a crawl's work, and a user waits for names; an answer by change time
// waits for the times instead (awaitTimes).
//
// A folder is open only while it is read: queued folders are opened by
// their path when their turn comes, so that a crawl keeps no disk busy and
// needs no more descriptors than it has threads. A listing that fails for
// a reason that may pass is tried again later (FolderRetries); a folder
// that may not be read is left out quietly.
//
// Locking: `queueMutex_` guards the queue and the idle state; it is taken
// after `state.mutex` when both are held, never before it.
class Crawler {
public:
    Crawler(IndexState& state, Watches& watches, const ServiceOptions& options);
    ~Crawler();
    Crawler(const Crawler&) = delete;
    Crawler& operator=(const Crawler&) = delete;

    // Starts the crawl's threads; fails when one cannot start (those that
    // did run until stop()).
    Expected<void> start();
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

    // Neither lock needed; safe to call under `state.mutex`. Idle: no folder
    // queued or being read (folders waiting for another try aside).
    bool idle() const;
    CrawlProgress progress() const;
    // Waits, at most `bound`, until every listed folder's names are in and
    // their times read; false when some are still pending. Neither lock
    // may be held.
    bool awaitTimes(std::chrono::milliseconds bound);
    // Ends every awaitTimes() at once, for good: the service is stopping.
    void endWaits();
    // Follows a compaction's renumbering of the folders waiting for another
    // try; call while idle, under `state.mutex` held exclusively.
    void renumber(const std::vector<uint32_t>& remap);

private:
    struct ScanTask {
        uint32_t entry = kNoEntry;
        bool force = false;      // list even when the folder's time is unchanged
        bool recurse = true;     // also visit known subfolders
        dev_t parentDevice = 0;  // 0: unknown, looked up unless a root
    };
    struct ChildFolder {
        uint32_t entry;
        std::string name;
    };
    struct KnownItem {
        uint32_t entry;
        std::string name;
        EntryType type;
        FileTimes times;
    };

    void push(std::vector<ScanTask> tasks);
    void workerLoop();
    // Moves the folders due for another try to the queue. Needs queueMutex_.
    void queueDueRetries();
    // Reads one folder and records how it went. Takes `state.mutex`.
    void scanFolder(const ScanTask& task);
    // Reads the times of the folder's items listed without them, and
    // records how it went. Takes `state.mutex`.
    void scanTimes(uint32_t folder);
    Expected<void> readPendingTimes(uint32_t folder);
    // Records a failed listing or reading of times. Needs queueMutex_.
    void recordOutcome(uint32_t entry, bool force, bool recurse, const Expected<void>& outcome);
    // Needs queueMutex_.
    bool namesDoneLocked() const { return queue_.empty() && activeListings_ == 0; }
    bool idleLocked() const { return namesDoneLocked() && timesQueue_.empty() && activeTimes_ == 0; }
    // Out of descriptors while other folders are read: waits until one of
    // those listings ends and gives its descriptor back. False when none
    // ended within a while (the descriptors are held elsewhere).
    bool awaitAnotherListing();
    // Opens the folder by its path and merges its listing; nothing to do
    // when the folder is gone from the index.
    Expected<void> listFolder(const ScanTask& task);
    // A folder that holds a pruned file system: named, not entered, and
    // what it held before that file system covered it is hidden. Takes
    // `state.mutex` exclusively.
    void coverFolder(uint32_t entry, const ItemFacts& self);
    // Compares the times of a folder's known items (not folders) with the
    // file system and takes the new ones; false when an item is gone or has
    // changed type, so that the folder must be listed again. Takes
    // `state.mutex` exclusively, only to write.
    Expected<bool> refreshKnownTimes(int fd, const std::vector<KnownItem>& items);
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
    // Folders whose items' times are to be read; guarded by queueMutex_.
    std::vector<uint32_t> timesQueue_;
    size_t activeListings_ = 0;  // folders being listed; guarded by queueMutex_
    size_t activeTimes_ = 0;     // folders whose times are being read; guarded by queueMutex_
    std::condition_variable idleCv_;
    int64_t namesEndMs_ = 0;      // guarded by queueMutex_
    bool waitsEnded_ = false;     // guarded by queueMutex_
    uint64_t listingsEnded_ = 0;  // guarded by queueMutex_
    std::condition_variable listingEndedCv_;
    bool stopping_ = false;  // guarded by queueMutex_
    int64_t startMs_ = 0;    // guarded by queueMutex_
    int64_t endMs_ = 0;      // guarded by queueMutex_
    FolderRetries retries_;  // guarded by queueMutex_
    std::atomic<uint64_t> foldersScanned_{0};
    std::vector<std::thread> threads_;
};

}  // namespace qf::index
