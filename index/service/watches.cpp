#include "index/service/watches.h"

#include <sys/inotify.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "index/service/log.h"

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
    // The watch is added and recorded under one hold: the kernel's word
    // that it dropped a watch (IN_IGNORED, taken under the same lock) can
    // then never arrive before the record it ends, and an entry removed
    // meanwhile never gets a watch nobody would take back.
    std::unique_lock lock(state_.mutex);
    if (!state_.store.at(entry).alive() || entryToWd_.count(entry)) return;
    int wd = -1;
    if (maxWatches_ == 0 || wdToEntry_.size() < maxWatches_) {
        std::string magic = "/proc/self/fd/" + std::to_string(fd);
        wd = ::inotify_add_watch(inotify_.get(), magic.c_str(), kWatchMask);
    } else {
        errno = ENOSPC;
    }
    if (wd < 0) {
        if (errno == ENOSPC && !limitReached_.exchange(true))
            logLine("inotify watch limit reached; folders without a watch are rescanned every " +
                    std::to_string(rescanSeconds_) + " s");
        unwatched_.insert(entry);
        return;
    }
    // The kernel has one watch per folder: a folder indexed twice (a disk
    // mounted at two places) gets back the watch of its first place, whose
    // events name that place only. The second place is rescanned instead.
    auto [it, added] = wdToEntry_.try_emplace(wd, entry);
    if (!added && it->second != entry) {
        unwatched_.insert(entry);
        return;
    }
    entryToWd_[entry] = wd;
    unwatched_.erase(entry);
    count_ = wdToEntry_.size();
}

void Watches::forget(int wd) {
    std::unique_lock lock(state_.mutex);
    auto it = wdToEntry_.find(wd);
    if (it == wdToEntry_.end()) return;
    entryToWd_.erase(it->second);
    wdToEntry_.erase(it);
    count_ = wdToEntry_.size();
}

uint32_t Watches::folderOf(int wd) const {
    auto it = wdToEntry_.find(wd);
    return it == wdToEntry_.end() ? kNoEntry : it->second;
}

void Watches::unwatch(uint32_t entry) {
    unwatched_.erase(entry);
    auto it = entryToWd_.find(entry);
    if (it == entryToWd_.end()) return;
    // Fails only when the kernel dropped the watch already (its IN_IGNORED
    // is on the way): either way it is gone.
    ::inotify_rm_watch(inotify_.get(), it->second);
    wdToEntry_.erase(it->second);
    entryToWd_.erase(it);
    count_ = wdToEntry_.size();
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
    for (auto& [wd, e] : wdToEntry_) {
        if (map(e) == kNoEntry) {
            // Every removal takes its watches along, so none should be left
            // here; one that is would be a watch counted by nobody.
            ::inotify_rm_watch(inotify_.get(), wd);
            continue;
        }
        wdToEntry[wd] = map(e);
        entryToWd[map(e)] = wd;
    }
    wdToEntry_ = std::move(wdToEntry);
    entryToWd_ = std::move(entryToWd);
    count_ = wdToEntry_.size();
    std::unordered_set<uint32_t> unwatched;
    for (uint32_t e : unwatched_)
        if (map(e) != kNoEntry) unwatched.insert(map(e));
    unwatched_ = std::move(unwatched);
}

}  // namespace qf::index
