#include "index/service/scrub.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/path_names.h"
#include "base/start_thread.h"
#include "index/service/log.h"

namespace qf::index {
namespace {

// A difference is looked at again once this old and the crawl has caught
// up; not later than kLongestWaitMs in any case.
constexpr int64_t kRecheckAfterMs = 1000;
constexpr int64_t kLongestWaitMs = 10000;
// Wake-ups: no more often than every 20 ms (a short test period), no less
// often than every second, so that rechecks stay on time.
constexpr int64_t kShortestTickMs = 20;
constexpr int64_t kLongestTickMs = 1000;

// The kernel's values for "this thread, idle I/O class, level 0". Spelled out
// because <linux/ioprio.h> of some releases is not valid C++ (a parameter
// named `class`).
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioIdleClass = 3 << 13;

// The check must not be felt: the disk serves it only when nothing else
// wants it, and the processor likewise. Both apply to this thread alone.
void yieldToEverythingElse() {
    const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    if (::syscall(SYS_ioprio_set, kIoprioWhoProcess, tid, kIoprioIdleClass) != 0)
        logLine(std::string("background check: runs at normal I/O priority (") + std::strerror(errno) + ")");
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19);
    ::pthread_setname_np(::pthread_self(), "qf-scrub");
}

size_t countFolders(const IndexStore& store) {
    size_t folders = 0;
    for (size_t i = 0; i < store.size(); ++i) {
        const Entry& e = store.at(static_cast<uint32_t>(i));
        folders += e.isFolder() && (e.flags & Entry::kPruned) == 0;
    }
    return folders;
}

}  // namespace

Scrub::Scrub(const IndexState& state, Crawler& crawler, const ServiceOptions& options)
    : state_(state), crawler_(crawler), options_(options) {}

Scrub::~Scrub() { stop(); }

Expected<void> Scrub::start() {
    Expected<std::thread> thread = startThread([this] { run(); }, "the background check");
    if (!thread) return std::move(thread).error();
    thread_ = std::move(*thread);
    return {};
}

void Scrub::stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

ScrubReport Scrub::report() const {
    std::lock_guard lock(reportMutex_);
    return report_;
}

bool Scrub::stopRequested(int64_t ms) {
    std::unique_lock lock(stopMutex_);
    return stopCv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_; });
}

void Scrub::run() {
    yieldToEverythingElse();
    // Until the first crawl has ended, the index differs from the disk by
    // design.
    while (true) {
        if (stopRequested(250)) return;
        const CrawlProgress crawl = crawler_.progress();
        if (crawl.idle && crawl.endMs != 0) break;
    }
    const int64_t periodMs = static_cast<int64_t>(options_.scrubPeriod.count()) * 1000;
    while (true) {
        const int64_t passStart = steadyMs();
        const size_t folders = std::max<size_t>(1, beginPass());
        // Folder n of the pass is due n intervals after its start; a tick
        // checks those due, never more than twice its share, so that a
        // thread held up (a suspended machine) does not catch up in a burst.
        const double intervalMs = static_cast<double>(periodMs) / static_cast<double>(folders);
        const int64_t tickMs = std::clamp(static_cast<int64_t>(intervalMs), kShortestTickMs, kLongestTickMs);
        const uint64_t perTick = 2 * static_cast<uint64_t>(static_cast<double>(tickMs) / intervalMs + 1);
        uint64_t checked = 0;
        do {
            if (stopRequested(tickMs)) return;
            const auto due = static_cast<uint64_t>(static_cast<double>(steadyMs() - passStart) / intervalMs);
            for (uint64_t n = 0; n < perTick && checked < due && !stack_.empty(); ++n, ++checked) checkNext();
            recheckDue();
        } while (!stack_.empty() || !pending_.empty());
        endPass();
    }
}

size_t Scrub::beginPass() {
    repairedThisPass_ = 0;
    {
        std::lock_guard lock(reportMutex_);
        report_.foldersChecked = 0;
    }
    std::shared_lock lock(state_.mutex);
    for (auto r = state_.store.roots().rbegin(); r != state_.store.roots().rend(); ++r)
        stack_.push_back({std::string(state_.store.rawName(*r)), *r, state_.generation, 0});
    return countFolders(state_.store);
}

void Scrub::checkNext() {
    FolderVisit v = std::move(stack_.back());
    stack_.pop_back();
    Expected<FolderComparison> c = compareFolder(state_, options_, v.path, v.entry, v.generation, v.parentDevice);
    {
        std::lock_guard lock(reportMutex_);
        ++report_.foldersChecked;
    }
    // A folder that cannot be listed now is the crawl's to try again.
    if (!c) return;
    if (!c->differences.empty()) pending_.push_back({v, c->differences, steadyMs()});
    for (auto it = c->subfolders.rbegin(); it != c->subfolders.rend(); ++it)
        stack_.push_back({joinPath(v.path, it->name), it->entry, c->generation, c->device});
}

void Scrub::recheckDue() {
    const int64_t now = steadyMs();
    const bool caughtUp = crawler_.idle();
    while (!pending_.empty()) {
        const int64_t age = now - pending_.front().foundMs;
        if (age < kRecheckAfterMs || (!caughtUp && age < kLongestWaitMs)) break;
        PendingDifferences p = std::move(pending_.front());
        pending_.pop_front();
        const FolderVisit& v = p.visit;
        Expected<FolderComparison> again =
            compareFolder(state_, options_, v.path, v.entry, v.generation, v.parentDevice);
        if (!again) continue;
        std::vector<FolderDifference> lasting = lastingDifferences(p.first, again->differences);
        if (lasting.empty()) continue;
        const uint64_t repaired = repair(v, *again, lasting);
        repairedThisPass_ += repaired;
        std::lock_guard lock(reportMutex_);
        report_.repaired += repaired;
    }
}

uint64_t Scrub::repair(const FolderVisit& visit, const FolderComparison& again,
                       const std::vector<FolderDifference>& lasting) {
    // A folder gone from the disk, or not in the index, is an item of the
    // folder above: that one is listed again.
    const bool itself = std::any_of(lasting.begin(), lasting.end(), [](const FolderDifference& d) {
        return d.name.empty() && d.kind != FolderDifference::Kind::changed;
    });
    std::shared_lock lock(state_.mutex);
    const IndexStore& store = state_.store;
    uint32_t entry = kNoEntry;
    if (itself) {
        if (visit.parentDevice == 0) return 0;  // a root: the settings and mounts decide
        entry = store.findPath(containingFolder(visit.path));
    } else if (again.generation == state_.generation && again.entry < store.size()) {
        entry = again.entry;
    } else {
        entry = store.findPath(visit.path);
    }
    if (entry == kNoEntry || !store.at(entry).alive() || !store.at(entry).isFolder()) return 0;
    // What lies below is checked in its turn; new subfolders are read anyway.
    crawler_.queueFolder(entry, true, false);
    return lasting.size();
}

void Scrub::endPass() {
    ScrubReport done;
    {
        std::lock_guard lock(reportMutex_);
        report_.lastPassEndMs = steadyMs();
        report_.lastPassRepaired = repairedThisPass_;
        report_.lastPassFolders = report_.foldersChecked;
        done = report_;
    }
    if (done.lastPassRepaired > 0)
        logLine("background check: " + std::to_string(done.lastPassRepaired) +
                " difference(s) from the disk repaired in a pass over " + std::to_string(done.lastPassFolders) +
                " folders");
}

}  // namespace qf::index
