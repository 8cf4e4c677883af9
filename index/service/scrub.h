#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/expected.h"
#include "index/service/crawler.h"
#include "index/service/folder_compare.h"
#include "index/service/index_state.h"
#include "index/service/service_options.h"

namespace qf::index {

// What the background check has done, for the status.
struct ScrubReport {
    std::optional<int64_t> lastPassEndMs;  // steadyMs(); nothing before the first full pass
    uint64_t lastPassRepaired = 0;         // differences the last full pass repaired
    uint64_t lastPassFolders = 0;          // folders it checked
    uint64_t foldersChecked = 0;           // in the pass under way
    uint64_t repaired = 0;                 // differences repaired since the start
};

// The background check: lists every indexed folder again over the course
// of `options.scrubPeriod`, spread out evenly, on one thread of idle I/O
// priority, and has the crawler list again each folder that differs from
// the disk. It catches what no event reported (events lost or overflowed,
// a bug in following them). A difference counts once it is seen again a
// second later (and once the crawl has caught up): a change made meanwhile
// is followed by the index anyway. Starts once the first crawl has ended.
//
// Takes `state.mutex` shared, one folder at a time.
class Scrub {
public:
    Scrub(const IndexState& state, Crawler& crawler, const ServiceOptions& options);
    ~Scrub();
    Scrub(const Scrub&) = delete;
    Scrub& operator=(const Scrub&) = delete;

    Expected<void> start();
    // Ends the thread. Safe to call twice.
    void stop();

    ScrubReport report() const;

private:
    void run();
    // Sleeps up to `ms`; true when the service is stopping.
    bool stopRequested(int64_t ms);
    // Puts the roots on the stack; returns how many folders the index holds.
    size_t beginPass();
    void checkNext();
    // Looks again at the differences due and repairs those that last.
    void recheckDue();
    // Has the crawler list the folder again; returns how many differences
    // that repairs.
    uint64_t repair(const FolderVisit& visit, const FolderComparison& again,
                    const std::vector<FolderDifference>& lasting);
    void endPass();

    const IndexState& state_;
    Crawler& crawler_;
    const ServiceOptions& options_;

    // Used by the scrub thread alone.
    std::vector<FolderVisit> stack_;
    std::deque<PendingDifferences> pending_;
    uint64_t repairedThisPass_ = 0;

    mutable std::mutex reportMutex_;
    ScrubReport report_;  // guarded by reportMutex_

    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false;  // guarded by stopMutex_
    std::thread thread_;
};

}  // namespace qf::index
