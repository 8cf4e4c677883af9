#include "index/service/crawler.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string_view>
#include <unordered_map>

#include "base/path_at.h"
#include "base/path_names.h"
#include "base/start_thread.h"
#include "index/service/log.h"
#include "index/service/mounts.h"
#include "index/store/path_order.h"

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

Expected<void> Crawler::start() {
    {
        std::lock_guard lock(queueMutex_);
        startMs_ = steadyMs();
        endMs_ = 0;
    }
    const unsigned count = std::max(1u, options_.crawlThreads);
    threads_.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        Expected<std::thread> thread = startThread([this] { workerLoop(); }, "the crawl");
        if (!thread) return std::move(thread).error();
        threads_.push_back(std::move(*thread));
    }
    return {};
}

void Crawler::stop() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueCv_.notify_all();
    listingEndedCv_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    std::lock_guard lock(queueMutex_);
    queue_.clear();
    timesQueue_.clear();
    retries_.clear();
    idleCv_.notify_all();
}

void Crawler::push(std::vector<ScanTask> tasks) {
    if (tasks.empty()) {
        // Nothing to read (no root exists): the crawl has ended already.
        std::lock_guard lock(queueMutex_);
        if (namesDoneLocked() && namesEndMs_ == 0) namesEndMs_ = steadyMs();
        if (idleLocked() && endMs_ == 0) endMs_ = steadyMs();
        return;
    }
    {
        std::lock_guard lock(queueMutex_);
        if (stopping_) return;
        if (idleLocked() && endMs_ != 0) {
            startMs_ = steadyMs();
            namesEndMs_ = 0;
            endMs_ = 0;
        }
        queue_.insert(queue_.end(), tasks.begin(), tasks.end());
    }
    // Most folders hold one subfolder or none: waking every thread for one
    // folder costs a disk of small folders more than its listing does.
    if (tasks.size() == 1)
        queueCv_.notify_one();
    else
        queueCv_.notify_all();
}

void Crawler::queueFolder(uint32_t entry, bool force, bool recurse) { push({{entry, force, recurse, 0}}); }

void Crawler::relistAll() {
    std::vector<ScanTask> tasks;
    for (uint32_t r : state_.store.roots()) tasks.push_back({r, true, true, 0});
    push(std::move(tasks));
}

void Crawler::catchUp(bool onlyUnwatched) {
    std::vector<ScanTask> tasks;
    // Queued under the lock so that no renumbering slips in between.
    std::shared_lock lock(state_.mutex);
    if (onlyUnwatched) {
        for (uint32_t f : watches_.unwatched()) tasks.push_back({f, false, false, 0});
    } else {
        for (uint32_t r : state_.store.roots()) tasks.push_back({r, false, true, 0});
    }
    push(std::move(tasks));
}

bool Crawler::idle() const {
    std::lock_guard lock(queueMutex_);
    return idleLocked();
}

CrawlProgress Crawler::progress() const {
    std::lock_guard lock(queueMutex_);
    return {idleLocked(),           namesDoneLocked(), queue_.size(), timesQueue_.size() + activeTimes_,
            foldersScanned_.load(), startMs_,          namesEndMs_,   endMs_,
            retries_.size(),        retries_.reason()};
}

bool Crawler::awaitTimes(std::chrono::milliseconds bound) {
    std::unique_lock lock(queueMutex_);
    return idleCv_.wait_for(lock, bound, [&] { return stopping_ || waitsEnded_ || idleLocked(); }) && !stopping_ &&
           !waitsEnded_;
}

void Crawler::endWaits() {
    {
        std::lock_guard lock(queueMutex_);
        waitsEnded_ = true;
    }
    idleCv_.notify_all();
}

void Crawler::renumber(const std::vector<uint32_t>& remap) {
    std::lock_guard lock(queueMutex_);
    retries_.renumber(remap);
}

void Crawler::queueDueRetries() {
    // Another try neither starts a new crawl nor ends one: the crawl's
    // times stay those of the crawl that failed.
    for (const FolderRetries::Due& d : retries_.takeDue(steadyMs())) queue_.push_back({d.entry, d.force, d.recurse, 0});
}

void Crawler::workerLoop() {
    while (true) {
        ScanTask task;
        uint32_t timesOf = kNoEntry;
        {
            std::unique_lock lock(queueMutex_);
            while (true) {
                if (stopping_) return;
                queueDueRetries();
                if (!queue_.empty()) break;
                // Times only once no folder is being listed either: a listing
                // under way may queue many more folders, whose names come first.
                if (!timesQueue_.empty() && activeListings_ == 0) break;
                if (std::optional<int64_t> due = retries_.nextDueMs())
                    queueCv_.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::milliseconds(*due)));
                else
                    queueCv_.wait(lock);
            }
            if (!queue_.empty()) {
                task = queue_.back();
                queue_.pop_back();
                ++activeListings_;
            } else {
                timesOf = timesQueue_.back();
                timesQueue_.pop_back();
                ++activeTimes_;
            }
        }
        if (timesOf == kNoEntry)
            scanFolder(task);
        else
            scanTimes(timesOf);
        {
            std::lock_guard lock(queueMutex_);
            --(timesOf == kNoEntry ? activeListings_ : activeTimes_);
            ++listingsEnded_;
            listingEndedCv_.notify_all();
            const int64_t now = steadyMs();
            if (namesDoneLocked() && namesEndMs_ == 0) namesEndMs_ = now;
            // The others may be waiting for the last listing to end.
            if (namesDoneLocked() && !timesQueue_.empty()) queueCv_.notify_all();
            if (idleLocked()) {
                if (endMs_ == 0) endMs_ = now;
                idleCv_.notify_all();
            }
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
        path = joinPath(folderPath, name);
    }
    return isExcluded(settings, name, path, isFolder);
}

bool Crawler::awaitAnotherListing() {
    std::unique_lock lock(queueMutex_);
    const uint64_t ended = listingsEnded_;
    return activeListings_ + activeTimes_ > 1 && listingEndedCv_.wait_for(lock, std::chrono::seconds(1), [&] {
        return stopping_ || listingsEnded_ != ended;
    }) && !stopping_;
}

void Crawler::scanFolder(const ScanTask& task) {
    Expected<void> listed = listFolder(task);
    // Failing at once, a thread would run through the whole queue while
    // another one lists a single folder: it waits for that one instead, so
    // that the crawl narrows to the descriptors there are.
    while (!listed && isOutOfDescriptors(listed.error()) && awaitAnotherListing()) listed = listFolder(task);
    if (!listed && isGone(listed.error())) {
        // Removed or replaced since it was queued: its folder's listing
        // says what is there now, and this folder is tried again in case
        // it is back (or dropped, gone from the index by then).
        std::shared_lock lock(state_.mutex);
        const Entry& e = state_.store.at(task.entry);
        if (e.alive() && e.parent != kNoEntry) queueFolder(e.parent, true, false);
    }
    std::lock_guard lock(queueMutex_);
    recordOutcome(task.entry, task.force, task.recurse, listed);
}

void Crawler::recordOutcome(uint32_t entry, bool force, bool recurse, const Expected<void>& outcome) {
    const bool wasComplete = retries_.size() == 0;
    if (outcome || isPermissionDenied(outcome.error())) {
        retries_.done(entry);
        if (!wasComplete && retries_.size() == 0) logLine("every folder that could not be listed is listed now");
        return;
    }
    retries_.failed(entry, force, recurse, outcome.error(), steadyMs());
    if (wasComplete)
        logLine("a folder could not be listed (" + outcome.error().message() +
                "); the index is incomplete until it is, tried again with growing pauses");
}

Expected<void> Crawler::listFolder(const ScanTask& task) {
    std::string path;
    bool root = false;
    {
        std::shared_lock lock(state_.mutex);
        if (task.entry >= state_.store.size() || !state_.store.at(task.entry).alive()) return {};
        path = state_.store.path(task.entry);
        root = state_.store.at(task.entry).type == EntryType::root;
    }
    if (options_.beforeListing) options_.beforeListing(path);
    Expected<UniqueFd> opened = openPath(path, O_RDONLY | O_DIRECTORY | (root ? 0 : O_NOFOLLOW));
    // A root that is gone is no failure of the crawl: the roots follow
    // the settings and the mounts.
    if (!opened) return root && isGone(opened.error()) ? Expected<void>() : std::move(opened).error();
    UniqueFd fd = std::move(*opened);
    std::optional<ItemFacts> self = factsAt(fd.get(), "");
    if (!self) return Error::lastErrno("cannot examine the folder");
    dev_t parentDevice = task.parentDevice;
    if (parentDevice == 0 && !root)
        if (std::optional<ItemFacts> up = factsAt(fd.get(), "..")) parentDevice = up->device;
    bool prunedDevice = false;
    if (parentDevice != 0 && self->device != parentDevice) {
        std::shared_lock lock(state_.mutex);
        prunedDevice = state_.prunedDevices.count(self->device) != 0;
    }
    if (prunedDevice) {
        coverFolder(task.entry, *self);
        return {};
    }
    // Watch before reading, so nothing created meanwhile goes unseen.
    watches_.watch(fd.get(), task.entry, self->device);

    std::vector<ChildFolder> childFolders;
    std::vector<KnownItem> knownItems;
    bool unchanged = false;
    bool firstListing = false;
    {
        std::shared_lock lock(state_.mutex);
        const IndexStore& store = state_.store;
        const Entry& e = store.at(task.entry);
        if (!e.alive()) return {};
        firstListing = e.firstChild == kNoEntry;
        unchanged = !task.force && (e.flags & Entry::kListed) && e.times == FileTimes(self->mtime, self->btime);
        if (unchanged)
            for (uint32_t c = e.firstChild; c != kNoEntry; c = store.at(c).nextSibling) {
                const Entry& child = store.at(c);
                if (child.type != EntryType::dir)
                    knownItems.push_back({c, std::string(store.rawName(c)), child.type, child.times});
                else if (task.recurse && !(child.flags & Entry::kPruned))
                    childFolders.push_back({c, std::string(store.rawName(c))});
            }
    }
    // An unchanged folder time says only that no name came or went: a file
    // written in place keeps it, so every file's own time is compared.
    if (unchanged) {
        Expected<bool> same = refreshKnownTimes(fd.get(), knownItems);
        if (!same) return std::move(same).error();
        if (!*same) {
            unchanged = false;
            childFolders.clear();
        }
    }
    if (!unchanged) {
        Expected<std::vector<ListedItem>> listing = readFolder(fd.get());
        if (!listing) return std::move(listing).error();
        std::vector<ListedItem>& items = *listing;
        // A folder seen before has its times read now: they are what a
        // relisting is for.
        if (!firstListing)
            if (Expected<void> facts = readItemFacts(fd.get(), items); !facts) return facts;
        // A folder removed while open lists as empty: that says nothing of
        // what its path holds now.
        struct stat st {};
        if (items.empty() && (::fstat(fd.get(), &st) != 0 || st.st_nlink == 0))
            return Error::fromErrno(ENOENT, "the folder was removed while it was read");
        // In name order, so that a folder's entries stand in the order its
        // answers are sent in; sorted here, before the index is held.
        sortByName(items);
        std::unique_lock lock(state_.mutex);
        if (!state_.store.at(task.entry).alive()) return {};
        applyListing(task.entry, fd.get(), task.recurse, items, childFolders);
        Entry& after = state_.store.at(task.entry);
        after.times = FileTimes(self->mtime, self->btime);
        // A folder changed within the file system's timestamp granularity of
        // this listing may change again without its time moving: such a folder
        // is read again by the next catch-up instead of trusted.
        if (wallNs() - self->mtime > kTimestampSlackNs)
            after.flags |= Entry::kListed;
        else
            after.flags &= static_cast<uint8_t>(~Entry::kListed);
        ++state_.changes;
        // Queued before this listing counts as ended, so that the crawl is
        // never idle, nor compacted, with times still to read.
        if (firstListing && std::any_of(items.begin(), items.end(), [](const ListedItem& i) {
                return i.facts.type != EntryType::dir && i.facts.mtime == kNoTime;
            })) {
            std::lock_guard queueLock(queueMutex_);
            timesQueue_.push_back(task.entry);
        }
    }
    ++foldersScanned_;
    // Closed before its subfolders are queued: one of them may be read, and
    // its disk unmounted, before this thread would otherwise get to it.
    fd.reset();

    std::vector<ScanTask> tasks;
    tasks.reserve(childFolders.size());
    for (const ChildFolder& c : childFolders) tasks.push_back({c.entry, task.force, true, self->device});
    push(std::move(tasks));
    return {};
}

void Crawler::coverFolder(uint32_t entry, const ItemFacts& self) {
    std::unique_lock lock(state_.mutex);
    IndexStore& store = state_.store;
    if (!store.at(entry).alive()) return;
    std::vector<uint32_t> covered;
    for (uint32_t c = store.at(entry).firstChild; c != kNoEntry; c = store.at(c).nextSibling) covered.push_back(c);
    for (uint32_t c : covered) watches_.removeEntry(c);
    watches_.unwatch(entry);
    Entry& e = store.at(entry);
    e.flags |= Entry::kPruned;
    e.times = FileTimes(self.mtime, self.btime);
    ++state_.changes;
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
            e.times = FileTimes(item.facts.mtime, item.facts.btime);
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
