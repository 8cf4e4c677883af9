#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "base/expected.h"
#include "index/service/crawler.h"
#include "index/service/index_state.h"
#include "index/service/retry_backoff.h"
#include "index/service/service_options.h"
#include "index/service/watches.h"

namespace qf::index {

// Keeps the index saved and lean: loads the snapshot at start and saves it
// after a crawl, when changed (at most every `snapshotSeconds`) and at stop;
// rescans unwatched folders every `rescanSeconds`; compacts when enough
// entries are dead; hands the crawl's freed memory back to the system.
//
// Every function here takes `state.mutex` itself and is called without it.
class Housekeeping {
public:
    Housekeeping(IndexState& state, Watches& watches, Crawler& crawler, const ServiceOptions& options);
    ~Housekeeping();
    Housekeeping(const Housekeeping&) = delete;
    Housekeeping& operator=(const Housekeeping&) = delete;

    // Loads the snapshot when there is one for the same roots.
    void loadSnapshot();
    bool saveSnapshot();
    Expected<void> start();
    // Ends the housekeeping thread. Safe to call twice.
    void stop();

    bool snapshotLoaded() const { return snapshotLoaded_; }
    // When the snapshot was last written, in steadyMs(); nothing before the
    // first save.
    std::optional<int64_t> snapshotWrittenMs() const;
    const RetryBackoff& snapshotRetry() const { return snapshotRetry_; }  // in steadyMs()

private:
    void run();
    void compactIfWorthwhile();

    IndexState& state_;
    Watches& watches_;
    Crawler& crawler_;
    const ServiceOptions& options_;

    std::mutex snapshotMutex_;        // one save at a time
    uint64_t changesAtSnapshot_ = 0;  // guarded by snapshotMutex_
    // The monotonic clock counts from boot: no value of it can stand for
    // "never", as a machine booted a minute ago reads small ones.
    std::atomic<bool> snapshotWritten_{false};
    std::atomic<int64_t> snapshotMs_{0};
    std::atomic<bool> snapshotLoaded_{false};
    // A save that fails is retried after 1 s, then ever less often.
    RetryBackoff snapshotRetry_{1000, int64_t{5} * 60 * 1000};

    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false;  // guarded by stopMutex_
    std::thread thread_;
};

}  // namespace qf::index
