#include "index/service/live_updates.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/inotify.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "base/path_names.h"
#include "base/start_thread.h"
#include "index/service/folder_reader.h"
#include "index/service/log.h"
#include "index/store/fold.h"

namespace qf::index {
namespace {

// Setting only a file's modification time reports IN_MODIFY, not IN_ATTRIB.
constexpr uint32_t kTimeChanged = IN_CLOSE_WRITE | IN_ATTRIB | IN_MODIFY;

std::string childPath(const IndexStore& store, uint32_t folder, std::string_view name) {
    return joinPath(store.path(folder), name);
}

}  // namespace

LiveUpdates::LiveUpdates(IndexState& state, Watches& watches, Crawler& crawler)
    : state_(state), watches_(watches), crawler_(crawler) {
    wakeup_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

LiveUpdates::~LiveUpdates() { stop(); }

Expected<void> LiveUpdates::start() {
    Expected<std::thread> thread = startThread([this] { run(); }, "live updates");
    if (!thread) return std::move(thread).error();
    thread_ = std::move(*thread);
    return {};
}

void LiveUpdates::stop() {
    if (!thread_.joinable()) return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeup_.get(), &one, sizeof one);
    thread_.join();
}

void LiveUpdates::run() {
    FanotifyWatch* fanotify = watches_.fanotify();
    while (true) {
        pollfd fds[3] = {
            {wakeup_.get(), POLLIN, 0}, {watches_.inotifyFd(), POLLIN, 0}, {fanotify ? fanotify->fd() : -1, POLLIN, 0}};
        int n = ::poll(fds, 3, 1000);
        if (n < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        if (n <= 0) continue;
        if (fds[1].revents & POLLIN) readInotify();
        if (fds[2].revents & POLLIN) readFanotify();
    }
}

void LiveUpdates::readInotify() {
    alignas(struct inotify_event) char buffer[64 * 1024];
    struct Event {
        int wd;
        uint32_t mask;
        std::string name;
    };
    std::vector<Event> events;
    bool overflow = false;
    while (true) {
        ssize_t len = ::read(watches_.inotifyFd(), buffer, sizeof buffer);
        if (len <= 0) break;
        for (ssize_t pos = 0; pos < len;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + pos);
            pos += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                overflow = true;
                continue;
            }
            if (ev->mask & IN_IGNORED) {
                watches_.forget(ev->wd);
                continue;
            }
            if (ev->len == 0) continue;
            events.push_back({ev->wd, ev->mask, ev->name});
        }
    }
    if (overflow) {
        logLine("inotify queue overflow; catching up");
        crawler_.catchUp(false);
    }
    std::vector<Change> changes;
    {
        // One hold for the whole batch: its folders share one numbering.
        std::shared_lock lock(state_.mutex);
        batchGeneration_ = state_.generation;
        for (Event& ev : events) {
            uint32_t folder = watches_.folderOf(ev.wd);
            if (folder == kNoEntry) continue;
            changes.push_back({folder, std::move(ev.name), (ev.mask & (IN_DELETE | IN_MOVED_FROM)) != 0,
                               (ev.mask & (IN_CREATE | IN_MOVED_TO)) != 0, (ev.mask & kTimeChanged) != 0});
        }
    }
    applyChanges(changes);
}

void LiveUpdates::readFanotify() {
    bool overflow = false;
    std::vector<FanotifyWatch::Change> raw = watches_.fanotify()->read(overflow);
    if (overflow) {
        logLine("fanotify queue overflow; catching up");
        crawler_.catchUp(false);
    }
    {
        std::shared_lock lock(state_.mutex);
        batchGeneration_ = state_.generation;
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

uint32_t LiveUpdates::folderForKey(const std::string& key) {
    {
        std::shared_lock lock(state_.mutex);
        if (!inBatchGeneration()) return kNoEntry;
        if (keyGeneration_ != state_.generation) {
            keyToFolder_.clear();
            keyGeneration_ = state_.generation;
        }
        // A root that came (or came back) may hold folders found to lie
        // outside the roots before.
        if (keyRoots_ != state_.store.roots()) {
            keysOutsideRoots_.clear();
            keyRoots_ = state_.store.roots();
        }
        auto it = keyToFolder_.find(key);
        if (it != keyToFolder_.end() && state_.store.at(it->second).alive()) return it->second;
    }
    if (keysOutsideRoots_.count(key)) return kNoEntry;
    std::optional<std::string> path = watches_.fanotify()->folderPath(key);
    if (!path) return kNoEntry;
    bool withinRoot = false;
    uint32_t folder;
    {
        std::shared_lock lock(state_.mutex);
        if (!inBatchGeneration()) return kNoEntry;
        folder = state_.store.findPath(*path, &withinRoot);
        if (folder != kNoEntry && !state_.store.at(folder).isFolder()) folder = kNoEntry;
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

void LiveUpdates::applyChanges(std::vector<Change>& changes) {
    std::unordered_set<uint32_t> touched;
    // A file being written reports many changes; each is read once per batch.
    std::vector<std::pair<uint32_t, std::string>> timeChanges;
    for (Change& c : changes) {
        if (c.name.empty()) {
            if (c.timeChanged) touched.insert(c.folder);
            continue;
        }
        if (c.removed) removeChild(c.folder, c.name);
        if (c.added)
            refreshChild(c.folder, c.name);
        else if (c.timeChanged)
            timeChanges.emplace_back(c.folder, std::move(c.name));
        if (c.added || c.removed) touched.insert(c.folder);
    }
    std::sort(timeChanges.begin(), timeChanges.end());
    timeChanges.erase(std::unique(timeChanges.begin(), timeChanges.end()), timeChanges.end());
    for (auto& [folder, name] : timeChanges) refreshChild(folder, name);
    for (uint32_t f : touched) refreshFolderTime(f);
    if (stale_) {
        // A compaction renumbered the entries under this batch; what it
        // did not apply, a catch-up finds (folder and file times).
        stale_ = false;
        crawler_.catchUp(false);
    }
}

bool LiveUpdates::inBatchGeneration() {
    if (state_.generation == batchGeneration_) return true;
    stale_ = true;
    return false;
}

void LiveUpdates::refreshChild(uint32_t folder, const std::string& name) {
    std::string path;
    {
        std::shared_lock lock(state_.mutex);
        if (!inBatchGeneration() || !state_.store.at(folder).alive()) return;
        path = childPath(state_.store, folder, name);
    }
    std::optional<ItemFacts> facts = factsOfPath(path);
    int err = errno;
    std::string folded = foldName(name);
    std::unique_lock lock(state_.mutex);
    IndexStore& store = state_.store;
    if (!inBatchGeneration() || !store.at(folder).alive()) return;
    uint32_t c = store.findChild(folder, name);
    if (facts && isExcluded(state_.settings, name, path, facts->type == EntryType::dir)) {
        if (c != kNoEntry) watches_.removeEntry(c);
        return;
    }
    if (!facts) {
        if (c != kNoEntry && err == ENOENT) watches_.removeEntry(c);
        return;
    }
    if (c != kNoEntry && store.at(c).type == facts->type) {
        store.at(c).times = FileTimes(facts->mtime, facts->btime);
        ++state_.changes;
        return;
    }
    if (c != kNoEntry) watches_.removeEntry(c);
    c = store.addChild(folder, name, folded, facts->type, facts->mtime, facts->btime);
    ++state_.changes;
    if (facts->type == EntryType::dir) crawler_.queueNewFolder(c);
}

void LiveUpdates::removeChild(uint32_t folder, const std::string& name) {
    std::unique_lock lock(state_.mutex);
    if (!inBatchGeneration() || !state_.store.at(folder).alive()) return;
    uint32_t c = state_.store.findChild(folder, name);
    if (c != kNoEntry) watches_.removeEntry(c);
}

void LiveUpdates::refreshFolderTime(uint32_t folder) {
    std::string path;
    {
        std::shared_lock lock(state_.mutex);
        if (!inBatchGeneration() || !state_.store.at(folder).alive()) return;
        path = state_.store.path(folder);
    }
    std::optional<ItemFacts> facts = factsOfPath(path);
    if (!facts) return;
    std::unique_lock lock(state_.mutex);
    if (inBatchGeneration() && state_.store.at(folder).alive())
        state_.store.at(folder).times = FileTimes(facts->mtime, facts->btime);
}

}  // namespace qf::index
