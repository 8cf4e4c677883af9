// The crawl's second pass: the change times of what a listing put in by
// name only, and the check of times already known when a folder is listed
// again. Kept apart from the listing itself, which makes names searchable.
#include <fcntl.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/path_at.h"
#include "index/service/crawler.h"

namespace qf::index {

void Crawler::scanTimes(uint32_t folder) {
    Expected<void> read = readPendingTimes(folder);
    while (!read && isOutOfDescriptors(read.error()) && awaitAnotherListing()) read = readPendingTimes(folder);
    // A folder gone meanwhile is its parent's listing's business.
    if (!read && isGone(read.error())) return;
    std::lock_guard lock(queueMutex_);
    // Tried again as a listing of the folder alone, which reads the times
    // of what it already holds.
    recordOutcome(folder, true, false, read);
}

Expected<void> Crawler::readPendingTimes(uint32_t folder) {
    struct Pending {
        uint32_t entry;
        std::string name;
        EntryType type;
        ItemFacts facts;
    };
    std::vector<Pending> pending;
    std::string path;
    bool root = false;
    {
        std::shared_lock lock(state_.mutex);
        const IndexStore& store = state_.store;
        if (folder >= store.size() || !store.at(folder).alive()) return {};
        for (uint32_t c = store.at(folder).firstChild; c != kNoEntry; c = store.at(c).nextSibling) {
            const Entry& child = store.at(c);
            if (child.type != EntryType::dir && !child.times.known())
                pending.push_back({c, std::string(store.rawName(c)), child.type, {}});
        }
        if (pending.empty()) return {};
        path = store.path(folder);
        root = store.at(folder).type == EntryType::root;
    }
    if (options_.beforeReadingTimes) options_.beforeReadingTimes(path);
    Expected<UniqueFd> opened = openPath(path, O_RDONLY | O_DIRECTORY | (root ? 0 : O_NOFOLLOW));
    if (!opened) return std::move(opened).error();
    size_t read = 0;
    for (Pending& p : pending) {
        std::optional<ItemFacts> facts = factsAt(opened->get(), p.name.c_str());
        if (facts) {
            p.facts = *facts;
            ++read;
        } else if (isPassingErrno(errno)) {
            return Error::lastErrno("cannot examine an item");
        }
        // Gone, or not to be examined: the listing's type and no times,
        // as for an item examined while listed.
    }
    opened->reset();
    if (read == 0) return {};
    std::unique_lock lock(state_.mutex);
    for (const Pending& p : pending) {
        Entry& e = state_.store.at(p.entry);
        // Replaced meanwhile by something of another kind: its own listing
        // or event brings its facts.
        if (p.facts.mtime == kNoTime || !e.alive() || e.type != p.type || e.type != p.facts.type) continue;
        if (e.times.known()) continue;
        e.times = FileTimes(p.facts.mtime, p.facts.btime);
    }
    ++state_.changes;
    return {};
}

Expected<bool> Crawler::refreshKnownTimes(int fd, const std::vector<KnownItem>& items) {
    std::vector<std::pair<const KnownItem*, ItemFacts>> changed;
    for (const KnownItem& item : items) {
        std::optional<ItemFacts> facts = factsAt(fd, item.name.c_str());
        if (!facts) {
            if (errno == ENOENT) return false;  // gone after all: read the listing
            if (isPassingErrno(errno)) return Error::lastErrno("cannot examine an item");
            continue;
        }
        if (facts->type != item.type) return false;
        if (FileTimes(facts->mtime, facts->btime) != item.times) changed.emplace_back(&item, *facts);
    }
    if (changed.empty()) return true;
    std::unique_lock lock(state_.mutex);
    for (auto& [item, facts] : changed) {
        Entry& e = state_.store.at(item->entry);
        if (!e.alive()) continue;
        e.times = FileTimes(facts.mtime, facts.btime);
    }
    ++state_.changes;
    return true;
}

}  // namespace qf::index
