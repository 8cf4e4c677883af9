#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include <sys/types.h>

#include "index/service/index_settings.h"
#include "index/store/index_store.h"

namespace qf::index {

// The index shared by the crawler, the live updates, the housekeeping and
// the answers.
//
// Locking: `mutex` guards `store`, `generation`, the compaction fields and
// every map of entry indices the parts keep (the watches'). Entry indices
// stay valid while it is held, shared or exclusive, and between two holds
// as long as `generation` has not moved. Lock order: `mutex` first, then a
// part's own lock (the crawl queue's); no part calls out while holding its
// own lock.
struct IndexState {
    mutable std::shared_mutex mutex;
    IndexStore store;
    uint64_t generation = 0;  // changes when entry indices are renumbered

    // Answers holding entry indices; a compaction waits while there are any.
    // Raised under `mutex` (shared is enough), so a compaction under the
    // exclusive lock sees every answer that took indices before it.
    std::atomic<int> answersStreaming{0};
    bool compactionWaiting = false;  // guarded by mutex
    uint64_t compactions = 0;        // guarded by mutex

    // What the user chose, in force; guarded by mutex, so that a listing
    // merged under the exclusive hold sees the same settings throughout.
    IndexSettings settings;
    std::vector<SettingsProblem> settingsProblems;
    // Why the settings file cannot be used, while it cannot. Held: it could
    // not be used at start, and nothing is indexed until it can; else the
    // settings read before stay in force.
    std::optional<std::string> settingsFailure;
    bool settingsHeld = false;
    // The roots chosen (options or settings). Other roots of the store are
    // disks mounted under the system root's run/media. Guarded by mutex.
    std::vector<std::string> configuredRoots;
    // Roots the settings name that do not exist yet. Guarded by mutex.
    std::vector<std::string> waitingRoots;
    // Devices of file systems left out (pseudo, and network unless chosen).
    std::unordered_set<dev_t> prunedDevices;  // guarded by mutex

    // Counts changes of the index, so that an unchanged one is not saved.
    std::atomic<uint64_t> changes{0};

    // Items below the roots (the roots do not count). Needs `mutex`.
    size_t entryCount() const {
        size_t roots = store.roots().size();
        return store.liveCount() - std::min(roots, store.liveCount());
    }
};

// Milliseconds on the monotonic clock, for durations and ages.
inline int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace qf::index
