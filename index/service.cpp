#include "service.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "fold.h"
#include "index_protocol.h"
#include "folder_reader.h"
#include "log.h"
#include "mounts.h"
#include "search.h"
#include "snapshot.h"
#include "wire.h"

namespace qf::index {
namespace {

constexpr uint8_t kPruned = 2;  // Entry flag: a folder the crawl does not enter
constexpr int kMaxQueuedFds = 512;
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_CLOSE_WRITE | IN_ATTRIB | IN_MODIFY | IN_ONLYDIR |
                                IN_EXCL_UNLINK;
// Setting only a file's modification time reports IN_MODIFY, not IN_ATTRIB.
constexpr uint32_t kTimeChanged = IN_CLOSE_WRITE | IN_ATTRIB | IN_MODIFY;

int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string childPath(const IndexStore& store, uint32_t folder, std::string_view name) {
  std::string path = store.path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path.append(name);
  return path;
}

constexpr int64_t kTimestampSlackNs = 2'000'000'000;

int64_t wallNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return nanoseconds(ts.tv_sec, ts.tv_nsec);
}

std::string secondsAgo(int64_t ms) {
  return std::to_string((nowMs() - ms) / 1000) + " s ago";
}

}  // namespace

Service::Service(ServiceOptions options) : options_(std::move(options)) {
  inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (options_.useFanotify) {
    fanotify_ = std::make_unique<FanotifyWatch>();
    if (!fanotify_->valid()) fanotify_.reset();
  }
  wakeup_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  prunedDevices_ = prunedDevices(currentMounts());
}

Service::~Service() { stop(); }

void Service::loadSnapshot() {
  if (options_.snapshotPath.empty()) return;
  IndexStore loaded;
  std::string error;
  int64_t start = nowMs();
  SnapshotLoad result = qf::index::loadSnapshot(options_.snapshotPath, loaded, &error);
  if (result == SnapshotLoad::Missing) return;
  if (result == SnapshotLoad::Corrupt) {
    logLine("snapshot " + options_.snapshotPath + " discarded (" + error + "); a full crawl follows");
    return;
  }
  std::vector<std::string> roots;
  for (uint32_t r : loaded.roots()) roots.emplace_back(loaded.rawName(r));
  if (roots != options_.roots) {
    logLine("snapshot " + options_.snapshotPath + " discarded (other roots); a full crawl follows");
    return;
  }
  std::unique_lock lock(mutex_);
  store_ = std::move(loaded);
  ++generation_;
  snapshotLoaded_ = true;
  logLine("snapshot loaded: " + std::to_string(store_.liveCount()) + " entries in " +
          std::to_string(nowMs() - start) + " ms");
}

void Service::start() {
  {
    std::unique_lock lock(mutex_);
    if (store_.roots().empty())
      for (const std::string& r : options_.roots) store_.addRoot(r);
  }
  crawlStartMs_ = nowMs();
  crawlEndMs_ = 0;
  {
    std::lock_guard lock(stopMutex_);
    started_ = true;
  }
  for (unsigned i = 0; i < std::max(1u, options_.crawlThreads); ++i)
    threads_.emplace_back([this] { workerLoop(); });
  threads_.emplace_back([this] { watcherLoop(); });
  threads_.emplace_back([this] { housekeepingLoop(); });
  catchUp(false);
}

void Service::stop() {
  {
    std::lock_guard lock(stopMutex_);
    if (stopped_ || !started_) {
      stopped_ = true;
      return;
    }
    stopped_ = true;
  }
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;
  }
  queueCv_.notify_all();
  stopCv_.notify_all();
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeup_.get(), &one, sizeof one);
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  for (ScanTask& t : queue_)
    if (t.fd >= 0) ::close(t.fd);
  queue_.clear();
  saveSnapshot();
}

// ---- crawl ----

void Service::pushTasks(std::vector<ScanTask> tasks) {
  if (tasks.empty()) return;
  {
    std::lock_guard lock(queueMutex_);
    if (stopping_) {
      for (ScanTask& t : tasks)
        if (t.fd >= 0) ::close(t.fd);
      return;
    }
    if (queue_.empty() && active_ == 0 && crawlEndMs_ != 0) {
      crawlStartMs_ = nowMs();
      crawlEndMs_ = 0;
    }
    for (ScanTask& t : tasks) queue_.push_back(t);
  }
  queueCv_.notify_all();
}

void Service::workerLoop() {
  while (true) {
    ScanTask task;
    {
      std::unique_lock lock(queueMutex_);
      queueCv_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      task = queue_.back();
      queue_.pop_back();
      ++active_;
    }
    if (task.fd >= 0) --queuedFds_;
    scanFolder(task);
    {
      std::lock_guard lock(queueMutex_);
      --active_;
      if (queue_.empty() && active_ == 0 && crawlEndMs_ == 0) crawlEndMs_ = nowMs();
    }
  }
}

bool Service::crawlIdle() {
  std::lock_guard lock(queueMutex_);
  return queue_.empty() && active_ == 0;
}

bool Service::isPrunedByName(uint32_t folder, const ListedItem& item) const {
  if (item.facts.type != EntryType::Dir) return false;
  const Entry& f = store_.at(folder);
  if (f.type != EntryType::Root || store_.rawName(folder) != "/") return false;
  const auto& top = prunedTopFolders();
  return std::find(top.begin(), top.end(), item.name) != top.end();
}

void Service::scanFolder(ScanTask task) {
  UniqueFd fd(task.fd);
  if (!fd) {
    std::string path;
    bool root = false;
    {
      std::shared_lock lock(mutex_);
      if (task.entry >= store_.size() || !store_.at(task.entry).alive()) return;
      path = store_.path(task.entry);
      root = store_.at(task.entry).type == EntryType::Root;
    }
    fd.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (root ? 0 : O_NOFOLLOW)));
    if (!fd) return;  // unreadable folders are skipped silently
  }
  std::optional<ItemFacts> self = factsAt(fd.get(), "");
  if (!self) return;
  if (task.parentDevice != 0 && self->device != task.parentDevice && prunedDevices_.count(self->device)) {
    // A mount point of a pseudo or network file system: named, not entered.
    std::unique_lock lock(mutex_);
    Entry& e = store_.at(task.entry);
    e.flags |= kPruned;
    e.mtime = self->mtime;
    e.btime = self->btime;
    return;
  }
  // Watch before reading, so nothing created meanwhile goes unseen.
  watchFolder(fd.get(), task.entry, self->device);

  std::vector<ChildFolder> childFolders;
  bool unchanged = false;
  {
    std::shared_lock lock(mutex_);
    const Entry& e = store_.at(task.entry);
    if (!e.alive()) return;
    unchanged = !task.force && (e.flags & Entry::kListed) && e.mtime == self->mtime;
    if (unchanged && task.recurse)
      for (uint32_t c = e.firstChild; c != kNoEntry; c = store_.at(c).nextSibling)
        if (store_.at(c).type == EntryType::Dir && !(store_.at(c).flags & kPruned))
          childFolders.push_back({c, std::string(store_.rawName(c)), true});
  }
  if (!unchanged) {
    if (options_.beforeListing) {
      std::string path;
      {
        std::shared_lock lock(mutex_);
        path = store_.path(task.entry);
      }
      options_.beforeListing(path);
    }
    std::vector<ListedItem> items = readFolder(fd.get());
    readItemFacts(fd.get(), items);
    std::unique_lock lock(mutex_);
    Entry& e = store_.at(task.entry);
    if (!e.alive()) return;
    applyListing(task.entry, fd.get(), task.recurse, items, childFolders);
    Entry& after = store_.at(task.entry);
    after.mtime = self->mtime;
    after.btime = self->btime;
    // A folder changed within the file system's timestamp granularity of
    // this listing may change again without its time moving: such a folder
    // is read again by the next catch-up instead of trusted.
    if (wallNs() - after.mtime > kTimestampSlackNs) after.flags |= Entry::kListed;
    else after.flags &= static_cast<uint8_t>(~Entry::kListed);
    ++changes_;
  }
  ++foldersScanned_;

  std::vector<ScanTask> tasks;
  tasks.reserve(childFolders.size());
  for (ChildFolder& c : childFolders) {
    int childFd = -1;
    if (queuedFds_ < kMaxQueuedFds) {
      childFd = ::openat(fd.get(), c.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (childFd >= 0) ++queuedFds_;
    }
    tasks.push_back({c.entry, childFd, task.force, c.recurse, self->device});
  }
  pushTasks(std::move(tasks));
}

void Service::applyListing(uint32_t folder, int fd, bool recurse, std::vector<ListedItem>& items,
                           std::vector<ChildFolder>& childFolders) {
  auto add = [&](ListedItem& item) {
    bool pruned = isPrunedByName(folder, item);
    uint32_t c = store_.addChild(folder, item.name, item.folded, item.facts.type,
                                 item.facts.mtime, item.facts.btime);
    if (pruned) store_.at(c).flags |= kPruned;
    else if (item.facts.type == EntryType::Dir) childFolders.push_back({c, item.name, true});
  };
  if (store_.at(folder).firstChild == kNoEntry) {
    for (ListedItem& item : items) add(item);
    return;
  }
  // Names are views into the arenas: look everything up before adding.
  std::unordered_map<std::string_view, uint32_t> known;
  for (uint32_t c = store_.at(folder).firstChild; c != kNoEntry; c = store_.at(c).nextSibling)
    known.emplace(store_.rawName(c), c);
  std::vector<ListedItem*> fresh;
  std::vector<uint32_t> gone;
  for (ListedItem& item : items) {
    auto it = known.find(item.name);
    if (it == known.end()) {
      fresh.push_back(&item);
      continue;
    }
    uint32_t c = it->second;
    known.erase(it);
    Entry& e = store_.at(c);
    if (e.type != item.facts.type) {
      gone.push_back(c);
      fresh.push_back(&item);
      continue;
    }
    if (item.facts.mtime != kNoTime) {
      e.mtime = item.facts.mtime;
      e.btime = item.facts.btime;
    }
    if (recurse && e.type == EntryType::Dir && !(e.flags & kPruned))
      childFolders.push_back({c, item.name, true});
  }
  for (auto& [name, c] : known) {
    // Something created after the listing was read is still there: keep it.
    struct stat st{};
    if (::fstatat(fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) gone.push_back(c);
  }
  // Removal blanks names, so it waits until no lookup needs them.
  known.clear();
  for (uint32_t c : gone) removeEntry(c);
  for (ListedItem* item : fresh) add(*item);
}

void Service::removeEntry(uint32_t entry) {
  std::vector<uint32_t> folders;
  store_.removeSubtree(entry, &folders);
  for (uint32_t f : folders) {
    unwatched_.erase(f);
    auto it = entryToWd_.find(f);
    if (it == entryToWd_.end()) continue;
    ::inotify_rm_watch(inotify_.get(), it->second);
    wdToEntry_.erase(it->second);
    entryToWd_.erase(it);
    --watchCount_;
  }
  ++changes_;
}

void Service::watchFolder(int fd, uint32_t entry, dev_t device) {
  if (fanotify_ && fanotify_->cover(fd, device)) return;
  {
    std::shared_lock lock(mutex_);
    if (entryToWd_.count(entry)) return;
  }
  int wd = -1;
  if (options_.maxWatches == 0 || watchCount_ < options_.maxWatches) {
    std::string magic = "/proc/self/fd/" + std::to_string(fd);
    wd = ::inotify_add_watch(inotify_.get(), magic.c_str(), kWatchMask);
  } else {
    errno = ENOSPC;
  }
  std::unique_lock lock(mutex_);
  if (wd < 0) {
    if (errno == ENOSPC && !watchLimitReached_.exchange(true))
      logLine("inotify watch limit reached; folders without a watch are rescanned every " +
              std::to_string(options_.rescanSeconds) + " s");
    if (store_.at(entry).alive()) unwatched_.insert(entry);
    return;
  }
  auto [it, inserted] = wdToEntry_.insert_or_assign(wd, entry);
  (void)it;
  if (inserted) ++watchCount_;
  entryToWd_[entry] = wd;
  unwatched_.erase(entry);
}

void Service::catchUp(bool onlyUnwatched) {
  std::vector<ScanTask> tasks;
  // Pushed under the lock so that no renumbering slips in between.
  std::shared_lock lock(mutex_);
  if (onlyUnwatched) {
    for (uint32_t f : unwatched_) tasks.push_back({f, -1, false, false});
  } else {
    for (uint32_t r : store_.roots()) tasks.push_back({r, -1, false, true});
  }
  pushTasks(std::move(tasks));
}

// ---- live updates ----

void Service::watcherLoop() {
  while (true) {
    pollfd fds[3] = {{wakeup_.get(), POLLIN, 0},
                     {inotify_.get(), POLLIN, 0},
                     {fanotify_ ? fanotify_->fd() : -1, POLLIN, 0}};
    int n = ::poll(fds, 3, 1000);
    if (n < 0 && errno != EINTR) return;
    if (fds[0].revents) return;
    if (n <= 0) continue;
    if (fds[1].revents & POLLIN) readInotify();
    if (fds[2].revents & POLLIN) readFanotify();
  }
}

void Service::readInotify() {
  alignas(struct inotify_event) char buffer[64 * 1024];
  std::vector<Change> changes;
  bool overflow = false;
  while (true) {
    ssize_t len = ::read(inotify_.get(), buffer, sizeof buffer);
    if (len <= 0) break;
    for (ssize_t pos = 0; pos < len;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buffer + pos);
      pos += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      if (ev->mask & IN_Q_OVERFLOW) {
        overflow = true;
        continue;
      }
      if (ev->mask & IN_IGNORED) {
        forgetWatch(ev->wd);
        continue;
      }
      if (ev->len == 0) continue;
      uint32_t folder = kNoEntry;
      {
        std::shared_lock lock(mutex_);
        auto it = wdToEntry_.find(ev->wd);
        if (it != wdToEntry_.end()) folder = it->second;
      }
      if (folder == kNoEntry) continue;
      changes.push_back({folder, ev->name, (ev->mask & (IN_DELETE | IN_MOVED_FROM)) != 0,
                         (ev->mask & (IN_CREATE | IN_MOVED_TO)) != 0, (ev->mask & kTimeChanged) != 0});
    }
  }
  if (overflow) {
    logLine("inotify queue overflow; catching up by folder times");
    catchUp(false);
  }
  applyChanges(changes);
}

void Service::forgetWatch(int wd) {
  std::unique_lock lock(mutex_);
  auto it = wdToEntry_.find(wd);
  if (it == wdToEntry_.end()) return;
  auto back = entryToWd_.find(it->second);
  if (back != entryToWd_.end() && back->second == wd) entryToWd_.erase(back);
  wdToEntry_.erase(it);
  --watchCount_;
}

void Service::readFanotify() {
  bool overflow = false;
  std::vector<FanotifyWatch::Change> raw = fanotify_->read(overflow);
  if (overflow) {
    logLine("fanotify queue overflow; catching up by folder times");
    catchUp(false);
  }
  std::vector<Change> changes;
  for (FanotifyWatch::Change& c : raw) {
    uint32_t folder = folderForKey(c.folderKey);
    if (folder == kNoEntry) continue;
    // A folder moved in from outside the roots may hold folders whose
    // handles were found to lie outside before.
    if ((c.mask & FAN_ONDIR) && (c.mask & FAN_MOVED_TO)) keysOutsideRoots_.clear();
    changes.push_back({folder, std::move(c.name), (c.mask & (FAN_DELETE | FAN_MOVED_FROM)) != 0,
                       (c.mask & (FAN_CREATE | FAN_MOVED_TO)) != 0,
                       (c.mask & (FAN_ATTRIB | FAN_MODIFY | FAN_CLOSE_WRITE)) != 0});
  }
  applyChanges(changes);
}

uint32_t Service::folderForKey(const std::string& key) {
  {
    std::shared_lock lock(mutex_);
    if (keyGeneration_ != generation_) {
      keyToFolder_.clear();
      keyGeneration_ = generation_;
    }
    auto it = keyToFolder_.find(key);
    if (it != keyToFolder_.end() && store_.at(it->second).alive()) return it->second;
  }
  if (keysOutsideRoots_.count(key)) return kNoEntry;
  std::optional<std::string> path = fanotify_->folderPath(key);
  if (!path) return kNoEntry;
  bool withinRoot = false;
  uint32_t folder;
  {
    std::shared_lock lock(mutex_);
    folder = store_.findPath(*path, &withinRoot);
    if (folder != kNoEntry && !store_.at(folder).isFolder()) folder = kNoEntry;
  }
  // Both caches stay small: they hold folders that change, not every folder.
  constexpr size_t kMaxKeys = 100000;
  if (folder != kNoEntry) {
    if (keyToFolder_.size() >= kMaxKeys) keyToFolder_.clear();
    keyToFolder_[key] = folder;
  } else if (!withinRoot) {
    if (keysOutsideRoots_.size() >= kMaxKeys) keysOutsideRoots_.clear();
    keysOutsideRoots_.insert(key);
  }
  return folder;
}

void Service::applyChanges(std::vector<Change>& changes) {
  std::unordered_set<uint32_t> touched;
  // A file being written reports many changes; each is read once per batch.
  std::vector<std::pair<uint32_t, std::string>> timeChanges;
  for (Change& c : changes) {
    if (c.name.empty()) {
      if (c.timeChanged) touched.insert(c.folder);
      continue;
    }
    if (c.removed) removeChild(c.folder, c.name);
    if (c.added) refreshChild(c.folder, c.name);
    else if (c.timeChanged) timeChanges.emplace_back(c.folder, std::move(c.name));
    if (c.added || c.removed) touched.insert(c.folder);
  }
  std::sort(timeChanges.begin(), timeChanges.end());
  timeChanges.erase(std::unique(timeChanges.begin(), timeChanges.end()), timeChanges.end());
  for (auto& [folder, name] : timeChanges) refreshChild(folder, name);
  for (uint32_t f : touched) refreshFolderTime(f);
}

void Service::refreshChild(uint32_t folder, const std::string& name) {
  std::string path;
  {
    std::shared_lock lock(mutex_);
    if (!store_.at(folder).alive()) return;
    path = childPath(store_, folder, name);
  }
  std::optional<ItemFacts> facts = factsAt(AT_FDCWD, path.c_str());
  int err = errno;
  std::string folded = foldName(name);
  std::vector<ScanTask> tasks;
  {
    std::unique_lock lock(mutex_);
    if (!store_.at(folder).alive()) return;
    uint32_t c = store_.findChild(folder, name);
    if (!facts) {
      if (c != kNoEntry && err == ENOENT) removeEntry(c);
      return;
    }
    if (c != kNoEntry && store_.at(c).type == facts->type) {
      store_.at(c).mtime = facts->mtime;
      store_.at(c).btime = facts->btime;
      ++changes_;
      return;
    }
    if (c != kNoEntry) removeEntry(c);
    c = store_.addChild(folder, name, folded, facts->type, facts->mtime, facts->btime);
    ++changes_;
    if (facts->type == EntryType::Dir) tasks.push_back({c, -1, true, true});
    // Pushed under the lock so that no renumbering slips in between.
    pushTasks(std::move(tasks));
  }
}

void Service::removeChild(uint32_t folder, const std::string& name) {
  std::unique_lock lock(mutex_);
  if (!store_.at(folder).alive()) return;
  uint32_t c = store_.findChild(folder, name);
  if (c != kNoEntry) removeEntry(c);
}

void Service::refreshFolderTime(uint32_t folder) {
  std::string path;
  {
    std::shared_lock lock(mutex_);
    if (!store_.at(folder).alive()) return;
    path = store_.path(folder);
  }
  std::optional<ItemFacts> facts = factsAt(AT_FDCWD, path.c_str());
  if (!facts) return;
  std::unique_lock lock(mutex_);
  if (store_.at(folder).alive()) store_.at(folder).mtime = facts->mtime;
}

// ---- housekeeping ----

void Service::housekeepingLoop() {
  bool wasCrawling = true;
  int64_t lastRescan = nowMs();
  while (true) {
    {
      std::unique_lock lock(stopMutex_);
      if (stopCv_.wait_for(lock, std::chrono::milliseconds(250), [&] { return stopped_; })) return;
    }
    bool idle = crawlIdle();
    if (wasCrawling && idle) {
      // The crawl's short-lived listings leave freed memory in the
      // allocator's per-thread arenas; hand it back to the system.
      ::malloc_trim(0);
      std::unique_lock lock(mutex_);
      store_.trimCapacity();
    }
    if (wasCrawling && idle && !firstCrawlDone_) {
      firstCrawlDone_ = true;
      logLine("crawl finished: " + std::to_string(entryCount()) + " entries, " +
              std::to_string(foldersScanned_.load()) + " folders in " +
              std::to_string(crawlEndMs_ - crawlStartMs_) + " ms");
      saveSnapshot();
    }
    wasCrawling = !idle;
    int64_t now = nowMs();
    if (idle && changes_ != changesAtSnapshot_ &&
        now - snapshotMs_ >= static_cast<int64_t>(options_.snapshotSeconds) * 1000)
      saveSnapshot();
    if (now - lastRescan >= static_cast<int64_t>(options_.rescanSeconds) * 1000) {
      lastRescan = now;
      catchUp(true);
    }
    if (idle) compactIfWorthwhile();
  }
}

void Service::compactIfWorthwhile() {
  std::unique_lock lock(mutex_);
  size_t dead = store_.deadCount();
  if (dead < 100000 || dead < store_.liveCount() / 4 || !crawlIdle()) return;
  std::vector<uint32_t> remap = store_.compact();
  ++generation_;
  auto map = [&](uint32_t i) { return i < remap.size() ? remap[i] : kNoEntry; };
  std::unordered_map<int, uint32_t> wdToEntry;
  std::unordered_map<uint32_t, int> entryToWd;
  for (auto& [wd, e] : wdToEntry_)
    if (map(e) != kNoEntry) {
      wdToEntry[wd] = map(e);
      entryToWd[map(e)] = wd;
    }
  wdToEntry_ = std::move(wdToEntry);
  entryToWd_ = std::move(entryToWd);
  std::unordered_set<uint32_t> unwatched;
  for (uint32_t e : unwatched_)
    if (map(e) != kNoEntry) unwatched.insert(map(e));
  unwatched_ = std::move(unwatched);
}

bool Service::saveSnapshot() {
  if (options_.snapshotPath.empty()) return false;
  std::lock_guard guard(snapshotMutex_);
  std::string error;
  uint64_t changes = changes_;
  bool ok;
  {
    std::shared_lock lock(mutex_);
    ok = writeSnapshot(store_, options_.snapshotPath, &error);
  }
  if (!ok) {
    logLine("snapshot not written: " + error);
    return false;
  }
  changesAtSnapshot_ = changes;
  snapshotMs_ = nowMs();
  return true;
}

// ---- queries ----

size_t Service::entryCount() const {
  std::shared_lock lock(mutex_);
  size_t roots = store_.roots().size();
  return store_.liveCount() - std::min(roots, store_.liveCount());
}

void Service::answer(const Request& request, const std::function<bool(const std::string&)>& send) {
  if (request.op == Request::Op::Status) {
    send(replyRecord(qf::protocol::kTagStatus, statusText()));
    return;
  }
  std::vector<uint32_t> ids;
  uint64_t generation;
  {
    std::shared_lock lock(mutex_);
    ids = findForRequest(store_, request, options_.searchThreads);
    generation = generation_;
  }
  if (request.countOnly && request.onlyIn.empty()) {
    send(replyRecord(qf::protocol::kTagCount, std::to_string(ids.size())));
    return;
  }
  // Paths are built in slices so that writers are never held up by a slow
  // reader on the other end of the socket.
  constexpr size_t kSlice = 4096;
  size_t counted = 0;
  std::string chunk, path;
  for (size_t begin = 0; begin < ids.size(); begin += kSlice) {
    chunk.clear();
    {
      std::shared_lock lock(mutex_);
      if (generation != generation_) break;
      size_t end = std::min(ids.size(), begin + kSlice);
      for (size_t k = begin; k < end; ++k) {
        if (!store_.at(ids[k]).alive()) continue;
        path.clear();
        store_.appendPath(ids[k], path);
        if (!request.onlyIn.empty() &&
            std::none_of(request.onlyIn.begin(), request.onlyIn.end(),
                         [&](const std::string& dir) { return isWithin(path, dir); }))
          continue;
        ++counted;
        if (request.countOnly) continue;
        chunk += qf::protocol::kTagPath;
        chunk += path;
        chunk += '\0';
      }
    }
    if (!chunk.empty() && !send(chunk)) return;
  }
  if (request.countOnly) send(replyRecord(qf::protocol::kTagCount, std::to_string(counted)));
}

std::string Service::statusText() const {
  std::string s;
  size_t entries, memory, queued = 0, unwatched;
  {
    std::shared_lock lock(mutex_);
    size_t roots = store_.roots().size();
    entries = store_.liveCount() - std::min(roots, store_.liveCount());
    memory = store_.memoryBytes();
    unwatched = unwatched_.size();
  }
  bool idle;
  {
    std::lock_guard lock(const_cast<std::mutex&>(queueMutex_));
    queued = queue_.size();
    idle = queue_.empty() && active_ == 0;
  }
  s += "state: " + std::string(idle ? "idle" : "crawling") + "\n";
  s += "entries: " + std::to_string(entries) + "\n";
  s += "folders scanned: " + std::to_string(foldersScanned_.load()) + " (queued: " +
       std::to_string(queued) + ")\n";
  if (idle && crawlEndMs_ != 0)
    s += "last crawl: " + std::to_string(crawlEndMs_ - crawlStartMs_) + " ms, finished " +
         secondsAgo(crawlEndMs_) + "\n";
  else
    s += "crawl running for: " + std::to_string((nowMs() - crawlStartMs_) / 1000) + " s\n";
  s += "watches: " + std::to_string(watchCount_.load()) + "\n";
  if (fanotify_)
    s += "whole file systems watched (fanotify): " + std::to_string(fanotify_->fileSystems()) + "\n";
  if (watchLimitReached_ || unwatched > 0)
    s += "unwatched folders: " + std::to_string(unwatched) +
         " (inotify watch limit reached; rescanned every " + std::to_string(options_.rescanSeconds) +
         " s)\n";
  else
    s += "unwatched folders: 0\n";
  if (snapshotMs_ != 0) s += "snapshot: written " + secondsAgo(snapshotMs_) + "\n";
  else s += std::string("snapshot: ") + (snapshotLoaded_ ? "loaded at start" : "none yet") + "\n";
  s += "snapshot file: " + options_.snapshotPath + "\n";
  s += "memory: " + std::to_string(memory / (1024 * 1024)) + " MiB in the index";
  if (entries > 0) s += " (" + std::to_string(memory / entries) + " bytes per entry)";
  s += "\n";
  for (const std::string& r : options_.roots) s += "root: " + r + "\n";
  s += "pid: " + std::to_string(::getpid()) + "\n";
  return s;
}

}  // namespace qf::index
