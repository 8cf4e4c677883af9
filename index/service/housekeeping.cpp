#include "index/service/housekeeping.h"

#include <malloc.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/start_thread.h"
#include "index/service/log.h"
#include "index/service/reconfigure.h"
#include "index/store/snapshot.h"

namespace qf::index {

Housekeeping::Housekeeping(IndexState& state, Watches& watches, Crawler& crawler, const ServiceOptions& options)
    : state_(state), watches_(watches), crawler_(crawler), options_(options) {}

Housekeeping::~Housekeeping() { stop(); }

void Housekeeping::loadSnapshot() {
    if (options_.snapshotPath.empty()) return;
    IndexStore loaded;
    int64_t start = steadyMs();
    auto result = qf::index::loadSnapshot(options_.snapshotPath, loaded);
    if (!result) {
        logLine("snapshot " + options_.snapshotPath + " discarded (" + result.error().message() +
                "); a full crawl follows");
        return;
    }
    if (*result == SnapshotLoad::missing) return;
    std::vector<std::string> roots;
    std::vector<std::string> chosen;
    {
        std::shared_lock lock(state_.mutex);
        // Disks under run/media come and go without making the rest stale.
        for (uint32_t r : loaded.roots())
            if (!isMediaPath(state_, options_, loaded.rawName(r))) roots.emplace_back(loaded.rawName(r));
        chosen = state_.configuredRoots;
    }
    // Roots changed while running are kept in the order they came.
    std::sort(roots.begin(), roots.end());
    std::sort(chosen.begin(), chosen.end());
    if (roots != chosen) {
        logLine("snapshot " + options_.snapshotPath + " discarded (other roots); a full crawl follows");
        return;
    }
    std::unique_lock lock(state_.mutex);
    state_.store = std::move(loaded);
    ++state_.generation;
    snapshotLoaded_ = true;
    logLine("snapshot loaded: " + std::to_string(state_.store.liveCount()) + " entries in " +
            std::to_string(steadyMs() - start) + " ms");
}

bool Housekeeping::saveSnapshot() {
    if (options_.snapshotPath.empty()) return false;
    std::lock_guard guard(snapshotMutex_);
    uint64_t changes = state_.changes;
    Expected<void> written = [&] {
        std::shared_lock lock(state_.mutex);
        return writeSnapshot(state_.store, options_.snapshotPath);
    }();
    if (!written) {
        const std::string error = written.error().message();
        if (snapshotRetry_.failed(steadyMs(), error))
            logLine("snapshot not written: " + error + "; retried after " +
                    std::to_string(snapshotRetry_.delayMs() / 1000) + " s, then ever less often (at most every 5 min)");
        return false;
    }
    if (snapshotRetry_.succeeded()) logLine("snapshot written again");
    changesAtSnapshot_ = changes;
    snapshotMs_ = steadyMs();
    snapshotWritten_ = true;
    return true;
}

std::optional<int64_t> Housekeeping::snapshotWrittenMs() const {
    if (!snapshotWritten_) return std::nullopt;
    return snapshotMs_.load();
}

Expected<void> Housekeeping::start() {
    Expected<std::thread> thread = startThread([this] { run(); }, "housekeeping");
    if (!thread) return std::move(thread).error();
    thread_ = std::move(*thread);
    return {};
}

void Housekeeping::stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Housekeeping::run() {
    bool wasCrawling = true;
    bool firstCrawlDone = false;
    int64_t lastRescan = steadyMs();
    while (true) {
        {
            std::unique_lock lock(stopMutex_);
            if (stopCv_.wait_for(lock, std::chrono::milliseconds(250), [&] { return stopping_; })) return;
        }
        CrawlProgress crawl = crawler_.progress();
        if (wasCrawling && crawl.idle) {
            // The crawl's short-lived listings leave freed memory in the
            // allocator's per-thread arenas; hand it back to the system.
            ::malloc_trim(0);
            std::unique_lock lock(state_.mutex);
            state_.store.trimCapacity();
        }
        if (wasCrawling && crawl.idle && !firstCrawlDone) {
            firstCrawlDone = true;
            size_t entries;
            {
                std::shared_lock lock(state_.mutex);
                entries = state_.entryCount();
            }
            logLine("crawl finished: " + std::to_string(entries) + " entries, " + std::to_string(crawl.foldersScanned) +
                    " folders in " + std::to_string(crawl.endMs - crawl.startMs) + " ms");
            saveSnapshot();
        }
        wasCrawling = !crawl.idle;
        int64_t now = steadyMs();
        bool changed;
        {
            std::lock_guard guard(snapshotMutex_);
            changed = state_.changes != changesAtSnapshot_;
        }
        std::optional<int64_t> written = snapshotWrittenMs();
        if (crawl.idle && changed && snapshotRetry_.due(now) &&
            (!written || now - *written >= static_cast<int64_t>(options_.snapshotSeconds) * 1000))
            saveSnapshot();
        if (now - lastRescan >= static_cast<int64_t>(options_.rescanSeconds) * 1000) {
            lastRescan = now;
            crawler_.catchUp(true);
        }
        if (crawl.idle) compactIfWorthwhile();
    }
}

void Housekeeping::compactIfWorthwhile() {
    std::unique_lock lock(state_.mutex);
    size_t dead = state_.store.deadCount();
    if (dead < options_.compactMinDead || dead < state_.store.liveCount() / 4 || !crawler_.idle()) return;
    // Renumbering under a streaming answer would cut it short.
    state_.compactionWaiting = state_.answersStreaming > 0;
    if (state_.compactionWaiting) return;
    std::vector<uint32_t> remap = state_.store.compact();
    ++state_.generation;
    ++state_.compactions;
    watches_.renumber(remap);
    crawler_.renumber(remap);
}

}  // namespace qf::index
