#pragma once
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fanotify_watch.h"
#include "folder_reader.h"
#include "index_store.h"
#include "request.h"
#include "unique_fd.h"

namespace qf::index {

struct ServiceOptions {
  std::vector<std::string> roots;  // resolved absolute folders
  std::string snapshotPath;        // empty: no persistence
  unsigned crawlThreads = 4;
  unsigned searchThreads = 2;
  int rescanSeconds = 60;     // folders without a watch are rescanned this often
  int snapshotSeconds = 600;  // a changed index is saved at most this often
  // The index is compacted when this many entries are dead and they are at
  // least a quarter of the live ones.
  size_t compactMinDead = 100000;
  size_t maxWatches = 0;      // 0: as many as the kernel grants
  // Watch whole file systems through fanotify where permitted, instead of
  // each folder through inotify.
  bool useFanotify = false;
  // Called on a crawl thread before a folder is read (tests hold it back).
  std::function<void(const std::string& folder)> beforeListing;
};

// The index and everything that keeps it current: the crawl, the inotify
// watches, the periodic rescans of unwatched folders and the snapshot.
// Queries may run on any thread at any time, also during the crawl.
class Service {
 public:
  explicit Service(ServiceOptions options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Loads the snapshot when there is one for the same roots; call before start.
  void loadSnapshot();
  // Starts the crawl (a catch-up when a snapshot was loaded) and the watches.
  void start();
  // Stops every thread and writes the snapshot. Safe to call twice.
  void stop();

  // Streams the answer to `request` as reply records; `send` returns false
  // when the client went away. The final end record is not included: false
  // with `error` set when the answer is not whole.
  bool answer(const Request& request, const std::function<bool(const std::string&)>& send, std::string* error);
  std::string statusText() const;

  bool crawlIdle();
  size_t entryCount() const;
  bool saveSnapshot();

 private:
  struct ScanTask {
    uint32_t entry = kNoEntry;
    int fd = -1;         // open folder, or -1 to open by path
    bool force = false;  // list even when the folder's time is unchanged
    bool recurse = true;  // also visit known subfolders
    dev_t parentDevice = 0;  // 0: do not check for a pruned mount
  };
  struct ChildFolder {
    uint32_t entry;
    std::string name;
    bool recurse;
  };

  struct KnownItem {
    uint32_t entry;
    std::string name;
    EntryType type;
    int64_t mtime, btime;
  };

  void workerLoop();
  void scanFolder(ScanTask task);
  void pushTasks(std::vector<ScanTask> tasks);
  void watchFolder(int fd, uint32_t entry, dev_t device);
  void applyListing(uint32_t folder, int fd, bool recurse, std::vector<ListedItem>& items,
                    std::vector<ChildFolder>& childFolders);
  // Compares the times of a folder's known items (not folders) with the
  // file system and takes the new ones; false when an item is gone or has
  // changed type, so that the folder must be listed again.
  bool refreshKnownTimes(int fd, const std::vector<KnownItem>& items);
  bool isPrunedByName(uint32_t folder, const ListedItem& item) const;
  void removeEntry(uint32_t entry);

  // One change below a folder, from either kind of watch.
  struct Change {
    uint32_t folder;
    std::string name;  // empty: the folder itself
    bool removed = false, added = false, timeChanged = false;
  };
  void watcherLoop();
  void readInotify();
  void forgetWatch(int wd);
  void readFanotify();
  uint32_t folderForKey(const std::string& key);
  void applyChanges(std::vector<Change>& changes);
  void refreshChild(uint32_t folder, const std::string& name);
  void removeChild(uint32_t folder, const std::string& name);
  void refreshFolderTime(uint32_t folder);
  void catchUp(bool onlyUnwatched);

  void housekeepingLoop();
  void compactIfWorthwhile();

  ServiceOptions options_;

  // Guards the store and every map that holds entry indices.
  mutable std::shared_mutex mutex_;
  IndexStore store_;
  uint64_t generation_ = 0;  // changes when entry indices are renumbered
  // Answers holding entry indices; compaction waits while there are any.
  // Raised under mutex_ (shared is enough), so a compaction under the
  // exclusive lock sees every answer that took indices before it.
  std::atomic<int> answersStreaming_{0};
  bool compactionWaiting_ = false;  // guarded by mutex_
  uint64_t compactions_ = 0;        // guarded by mutex_
  std::unordered_map<int, uint32_t> wdToEntry_;
  std::unordered_map<uint32_t, int> entryToWd_;
  std::unordered_set<uint32_t> unwatched_;
  std::unordered_set<dev_t> prunedDevices_;

  std::mutex queueMutex_;
  std::condition_variable queueCv_;
  std::vector<ScanTask> queue_;
  size_t active_ = 0;  // folders being read
  bool stopping_ = false;
  std::atomic<int> queuedFds_{0};

  UniqueFd inotify_;
  std::unique_ptr<FanotifyWatch> fanotify_;  // null when not used
  // Folder handles resolved by the watcher thread, valid for one generation.
  std::unordered_map<std::string, uint32_t> keyToFolder_;
  std::unordered_set<std::string> keysOutsideRoots_;
  uint64_t keyGeneration_ = 0;
  UniqueFd wakeup_;  // eventfd that ends the watcher's poll
  std::atomic<bool> watchLimitReached_{false};
  std::atomic<size_t> watchCount_{0};

  std::atomic<uint64_t> changes_{0};
  std::atomic<uint64_t> foldersScanned_{0};
  std::atomic<int64_t> crawlStartMs_{0};
  std::atomic<int64_t> crawlEndMs_{0};
  std::atomic<int64_t> snapshotMs_{0};
  std::atomic<bool> snapshotLoaded_{false};
  bool firstCrawlDone_ = false;
  uint64_t changesAtSnapshot_ = 0;
  std::mutex snapshotMutex_;

  std::mutex stopMutex_;
  std::condition_variable stopCv_;
  bool started_ = false;
  bool stopped_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qf::index
