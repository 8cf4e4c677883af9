#include "crawler.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string_view>
#include <unordered_map>

#include "mounts.h"
#include "path_order.h"

namespace qf::index {
namespace {

// Most names differ in their first eight bytes, so the items are sorted by
// those as one number and moved once, rather than swapped name by name.
void sortByName(std::vector<ListedItem>& items) {
    struct Key {
        uint64_t head;
        uint32_t index;
    };
    std::vector<Key> keys(items.size());
    for (uint32_t i = 0; i < items.size(); ++i) keys[i] = {nameHead(items[i].name), i};
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.head != b.head) return a.head < b.head;
        return items[a.index].name < items[b.index].name;
    });
    std::vector<ListedItem> sorted;
    sorted.reserve(items.size());
    for (const Key& k : keys) sorted.push_back(std::move(items[k.index]));
    items = std::move(sorted);
}

constexpr int kMaxQueuedFds = 512;
constexpr int64_t kTimestampSlackNs = 2'000'000'000;

int64_t wallNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return nanoseconds(ts.tv_sec, ts.tv_nsec);
}

}  // namespace

Crawler::Crawler(IndexState& state, Watches& watches, const ServiceOptions& options)
    : state_(state), watches_(watches), options_(options) {}

Crawler::~Crawler() { stop(); }

void Crawler::start() {
    {
        std::lock_guard lock(queueMutex_);
        startMs_ = steadyMs();
        endMs_ = 0;
    }
    for (unsigned i = 0; i < std::max(1u, options_.crawlThreads); ++i) threads_.emplace_back([this] { workerLoop(); });
}

void Crawler::stop() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueCv_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    std::lock_guard lock(queueMutex_);
    queue_.clear();
}

void Crawler::push(std::vector<ScanTask> tasks) {
    if (tasks.empty()) {
        // Nothing to read (no root exists): the crawl has ended already.
        std::lock_guard lock(queueMutex_);
        if (queue_.empty() && active_ == 0 && endMs_ == 0) endMs_ = steadyMs();
        return;
    }
    {
        std::lock_guard lock(queueMutex_);
        if (stopping_) return;
        if (queue_.empty() && active_ == 0 && endMs_ != 0) {
            startMs_ = steadyMs();
            endMs_ = 0;
        }
        for (ScanTask& t : tasks) queue_.push_back(std::move(t));
    }
    queueCv_.notify_all();
}

void Crawler::queueFolder(uint32_t entry, bool force, bool recurse) {
    std::vector<ScanTask> tasks;
    tasks.push_back({entry, UniqueFd(), force, recurse, 0});
    push(std::move(tasks));
}

void Crawler::relistAll() {
    std::vector<ScanTask> tasks;
    for (uint32_t r : state_.store.roots()) tasks.push_back({r, UniqueFd(), true, true, 0});
    push(std::move(tasks));
}

void Crawler::catchUp(bool onlyUnwatched) {
    std::vector<ScanTask> tasks;
    // Queued under the lock so that no renumbering slips in between.
    std::shared_lock lock(state_.mutex);
    if (onlyUnwatched) {
        for (uint32_t f : watches_.unwatched()) tasks.push_back({f, UniqueFd(), false, false, 0});
    } else {
        for (uint32_t r : state_.store.roots()) tasks.push_back({r, UniqueFd(), false, true, 0});
    }
    push(std::move(tasks));
}

bool Crawler::idle() const {
    std::lock_guard lock(queueMutex_);
    return queue_.empty() && active_ == 0;
}

CrawlProgress Crawler::progress() const {
    std::lock_guard lock(queueMutex_);
    return {queue_.empty() && active_ == 0, queue_.size(), foldersScanned_.load(), startMs_, endMs_};
}

void Crawler::workerLoop() {
    while (true) {
        ScanTask task;
        {
            std::unique_lock lock(queueMutex_);
            queueCv_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            task = std::move(queue_.back());
            queue_.pop_back();
            ++active_;
        }
        if (task.fd) --queuedFds_;
        scanFolder(std::move(task));
        {
            std::lock_guard lock(queueMutex_);
            --active_;
            if (queue_.empty() && active_ == 0 && endMs_ == 0) endMs_ = steadyMs();
        }
    }
}

bool Crawler::isPrunedByName(uint32_t folder, const ListedItem& item) const {
    if (item.facts.type != EntryType::dir) return false;
    const Entry& f = state_.store.at(folder);
    if (f.type != EntryType::root || state_.store.rawName(folder) != options_.systemRoot) return false;
    const auto& top = prunedTopFolders();
    return std::find(top.begin(), top.end(), item.name) != top.end();
}

bool Crawler::isLeftOut(uint32_t folder, std::string_view name, bool isFolder, std::string& folderPath) const {
    const IndexSettings& settings = state_.settings;
    if (settings.hidden && settings.excludedNames.empty() && settings.excludedPaths.empty()) return false;
    std::string path;
    if (!settings.excludedPaths.empty()) {
        if (folderPath.empty()) folderPath = state_.store.path(folder);
        path = folderPath;
        if (path.back() != '/') path += '/';
        path += name;
    }
    return isExcluded(settings, name, path, isFolder);
}

UniqueFd Crawler::openFolder(const ScanTask& task) {
    std::string path;
    bool root = false;
    {
        std::shared_lock lock(state_.mutex);
        if (task.entry >= state_.store.size() || !state_.store.at(task.entry).alive()) return {};
        path = state_.store.path(task.entry);
        root = state_.store.at(task.entry).type == EntryType::root;
    }
    // Unreadable folders are skipped silently.
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (root ? 0 : O_NOFOLLOW)));
}

void Crawler::scanFolder(ScanTask task) {
    UniqueFd fd = task.fd ? std::move(task.fd) : openFolder(task);
    if (!fd) return;
    std::optional<ItemFacts> self = factsAt(fd.get(), "");
    if (!self) return;
    bool prunedDevice = false;
    if (task.parentDevice != 0 && self->device != task.parentDevice) {
        std::shared_lock lock(state_.mutex);
        prunedDevice = state_.prunedDevices.count(self->device) != 0;
    }
    if (prunedDevice) {
        // A mount point of a pseudo or network file system: named, not entered.
        std::unique_lock lock(state_.mutex);
        Entry& e = state_.store.at(task.entry);
        e.flags |= Entry::kPruned;
        e.mtime = self->mtime;
        e.birth = birthMark(self->btime);
        return;
    }
    // Watch before reading, so nothing created meanwhile goes unseen.
    watches_.watch(fd.get(), task.entry, self->device);

    std::vector<ChildFolder> childFolders;
    std::vector<KnownItem> knownItems;
    bool unchanged = false;
    {
        std::shared_lock lock(state_.mutex);
        const IndexStore& store = state_.store;
        const Entry& e = store.at(task.entry);
        if (!e.alive()) return;
        unchanged = !task.force && (e.flags & Entry::kListed) && e.mtime == self->mtime;
        if (unchanged)
            for (uint32_t c = e.firstChild; c != kNoEntry; c = store.at(c).nextSibling) {
                const Entry& child = store.at(c);
                if (child.type != EntryType::dir)
                    knownItems.push_back({c, std::string(store.rawName(c)), child.type, child.mtime, child.birth});
                else if (task.recurse && !(child.flags & Entry::kPruned))
                    childFolders.push_back({c, std::string(store.rawName(c))});
            }
    }
    // An unchanged folder time says only that no name came or went: a file
    // written in place keeps it, so every file's own time is compared.
    if (unchanged && !refreshKnownTimes(fd.get(), knownItems)) {
        unchanged = false;
        childFolders.clear();
    }
    if (!unchanged) {
        if (options_.beforeListing) {
            std::string path;
            {
                std::shared_lock lock(state_.mutex);
                path = state_.store.path(task.entry);
            }
            options_.beforeListing(path);
        }
        std::vector<ListedItem> items = readFolder(fd.get());
        readItemFacts(fd.get(), items);
        // In name order, so that a folder's entries stand in the order its
        // answers are sent in; sorted here, before the index is held.
        sortByName(items);
        std::unique_lock lock(state_.mutex);
        if (!state_.store.at(task.entry).alive()) return;
        applyListing(task.entry, fd.get(), task.recurse, items, childFolders);
        Entry& after = state_.store.at(task.entry);
        after.mtime = self->mtime;
        after.birth = birthMark(self->btime);
        // A folder changed within the file system's timestamp granularity of
        // this listing may change again without its time moving: such a folder
        // is read again by the next catch-up instead of trusted.
        if (wallNs() - after.mtime > kTimestampSlackNs)
            after.flags |= Entry::kListed;
        else
            after.flags &= static_cast<uint8_t>(~Entry::kListed);
        ++state_.changes;
    }
    ++foldersScanned_;

    std::vector<ScanTask> tasks;
    tasks.reserve(childFolders.size());
    for (ChildFolder& c : childFolders) {
        UniqueFd childFd;
        if (queuedFds_ < kMaxQueuedFds) {
            childFd.reset(::openat(fd.get(), c.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (childFd) ++queuedFds_;
        }
        tasks.push_back({c.entry, std::move(childFd), task.force, true, self->device});
    }
    push(std::move(tasks));
}

bool Crawler::refreshKnownTimes(int fd, const std::vector<KnownItem>& items) {
    std::vector<std::pair<const KnownItem*, ItemFacts>> changed;
    for (const KnownItem& item : items) {
        std::optional<ItemFacts> facts = factsAt(fd, item.name.c_str());
        if (!facts) {
            if (errno == ENOENT) return false;  // gone after all: read the listing
            continue;
        }
        if (facts->type != item.type) return false;
        if (facts->mtime != item.mtime || birthMark(facts->btime) != item.birth) changed.emplace_back(&item, *facts);
    }
    if (changed.empty()) return true;
    std::unique_lock lock(state_.mutex);
    for (auto& [item, facts] : changed) {
        Entry& e = state_.store.at(item->entry);
        if (!e.alive()) continue;
        e.mtime = facts.mtime;
        e.birth = birthMark(facts.btime);
    }
    ++state_.changes;
    return true;
}

void Crawler::applyListing(uint32_t folder, int fd, bool recurse, std::vector<ListedItem>& items,
                           std::vector<ChildFolder>& childFolders) {
    IndexStore& store = state_.store;
    // Left-out items are dropped here, under the same hold as the settings
    // read, so a listing read before a change of settings cannot bring back
    // what the change removed.
    std::string folderPath;
    std::erase_if(items, [&](const ListedItem& item) {
        return isLeftOut(folder, item.name, item.facts.type == EntryType::dir, folderPath);
    });
    auto add = [&](ListedItem& item) {
        bool pruned = isPrunedByName(folder, item);
        uint32_t c =
            store.addChild(folder, item.name, item.folded, item.facts.type, item.facts.mtime, item.facts.btime);
        if (pruned)
            store.at(c).flags |= Entry::kPruned;
        else if (item.facts.type == EntryType::dir)
            childFolders.push_back({c, item.name});
    };
    if (store.at(folder).firstChild == kNoEntry) {
        for (ListedItem& item : items) add(item);
        // scanFolder sorted the listing by name, which spares answers a sort.
        store.at(folder).flags |= Entry::kChildrenInOrder;
        return;
    }
    // Names are views into the arenas: look everything up before adding.
    std::unordered_map<std::string_view, uint32_t> known;
    for (uint32_t c = store.at(folder).firstChild; c != kNoEntry; c = store.at(c).nextSibling)
        known.emplace(store.rawName(c), c);
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
        Entry& e = store.at(c);
        if (e.type != item.facts.type) {
            gone.push_back(c);
            fresh.push_back(&item);
            continue;
        }
        if (item.facts.mtime != kNoTime) {
            e.mtime = item.facts.mtime;
            e.birth = birthMark(item.facts.btime);
        }
        if (recurse && e.type == EntryType::dir && !(e.flags & Entry::kPruned)) childFolders.push_back({c, item.name});
    }
    for (auto& [name, c] : known) {
        // Something created after the listing was read is still there: keep
        // it, unless the settings leave it out.
        struct stat st {};
        if (isLeftOut(folder, name, store.at(c).type == EntryType::dir, folderPath) ||
            ::fstatat(fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            gone.push_back(c);
    }
    // Removal blanks names, so it waits until no lookup needs them.
    known.clear();
    for (uint32_t c : gone) watches_.removeEntry(c);
    for (ListedItem* item : fresh) add(*item);
}

}  // namespace qf::index
