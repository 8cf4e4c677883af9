#include "watches.h"

#include <sys/inotify.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "log.h"

namespace qf::index {
namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                                IN_MODIFY | IN_ONLYDIR | IN_EXCL_UNLINK;

}  // namespace

Watches::Watches(IndexState& state, const ServiceOptions& options)
    : state_(state), maxWatches_(options.maxWatches), rescanSeconds_(options.rescanSeconds) {
    inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (options.useFanotify) {
        fanotify_ = std::make_unique<FanotifyWatch>();
        if (!fanotify_->valid()) fanotify_.reset();
    }
}

void Watches::watch(int fd, uint32_t entry, dev_t device) {
    if (fanotify_ && fanotify_->cover(fd, device)) return;
    {
        std::shared_lock lock(state_.mutex);
        if (entryToWd_.count(entry)) return;
    }
    int wd = -1;
    if (maxWatches_ == 0 || count_ < maxWatches_) {
        std::string magic = "/proc/self/fd/" + std::to_string(fd);
        wd = ::inotify_add_watch(inotify_.get(), magic.c_str(), kWatchMask);
    } else {
        errno = ENOSPC;
    }
    std::unique_lock lock(state_.mutex);
    if (wd < 0) {
        if (errno == ENOSPC && !limitReached_.exchange(true))
            logLine("inotify watch limit reached; folders without a watch are rescanned every " +
                    std::to_string(rescanSeconds_) + " s");
        if (state_.store.at(entry).alive()) unwatched_.insert(entry);
        return;
    }
    if (wdToEntry_.insert_or_assign(wd, entry).second) ++count_;
    entryToWd_[entry] = wd;
    unwatched_.erase(entry);
}

void Watches::forget(int wd) {
    std::unique_lock lock(state_.mutex);
    auto it = wdToEntry_.find(wd);
    if (it == wdToEntry_.end()) return;
    auto back = entryToWd_.find(it->second);
    if (back != entryToWd_.end() && back->second == wd) entryToWd_.erase(back);
    wdToEntry_.erase(it);
    --count_;
}

uint32_t Watches::folderOf(int wd) const {
    auto it = wdToEntry_.find(wd);
    return it == wdToEntry_.end() ? kNoEntry : it->second;
}

void Watches::unwatch(uint32_t entry) {
    unwatched_.erase(entry);
    auto it = entryToWd_.find(entry);
    if (it == entryToWd_.end()) return;
    ::inotify_rm_watch(inotify_.get(), it->second);
    wdToEntry_.erase(it->second);
    entryToWd_.erase(it);
    --count_;
}

void Watches::removeEntry(uint32_t entry) {
    std::vector<uint32_t> folders;
    state_.store.removeSubtree(entry, &folders);
    for (uint32_t f : folders) unwatch(f);
    ++state_.changes;
}

void Watches::renumber(const std::vector<uint32_t>& remap) {
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

}  // namespace qf::index
