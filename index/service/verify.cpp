#include "index/service/verify.h"

#include <sys/types.h>

#include <algorithm>
#include <deque>
#include <thread>

#include "base/path_names.h"
#include "index/client/wire.h"
#include "index/service/folder_compare.h"
#include "protocol/index_protocol.h"

namespace qf::index {
namespace {

namespace p = qf::protocol;

// A difference is looked at again once this old, and once the crawl has
// caught up; not later than kLongestWaitMs in any case.
constexpr int64_t kRecheckAfterMs = 1000;
constexpr int64_t kLongestWaitMs = 10000;

const char* kindName(FolderDifference::Kind kind) {
    switch (kind) {
        case FolderDifference::Kind::missing:
            return "missing";
        case FolderDifference::Kind::extra:
            return "extra";
        case FolderDifference::Kind::changed:
            return "changed";
    }
    return "changed";
}

class Walk {
public:
    Walk(const IndexState& state, const Crawler& crawler, const ServiceOptions& options,
         const std::vector<std::string>& onlyIn, const std::function<bool(const std::string&)>& send)
        : state_(state), crawler_(crawler), options_(options), onlyIn_(onlyIn), send_(send) {}

    Expected<void> run() {
        std::vector<FolderVisit> stack;
        {
            std::shared_lock lock(state_.mutex);
            for (uint32_t r : state_.store.roots()) {
                std::string path(state_.store.rawName(r));
                if (leadsIntoScope(path)) stack.push_back({path, r, state_.generation, 0});
            }
        }
        for (const std::string& d : onlyIn_)
            if (std::none_of(stack.begin(), stack.end(),
                             [&](const FolderVisit& v) { return isSameOrInside(d, v.path); }))
                return Error(Errc::invalidInput, "the folder " + d + " is not below a root of the index");
        while (!stack.empty()) {
            FolderVisit v = std::move(stack.back());
            stack.pop_back();
            Expected<FolderComparison> c =
                compareFolder(state_, options_, v.path, v.entry, v.generation, v.parentDevice);
            ++folders_;
            if (!c) {
                if (!send_(replyRecord(p::kTagUnlisted, c.error().message() + "\n" + v.path)))
                    return Error(Errc::unavailable, "the client went away");
            } else {
                items_ += c->items;
                if (!c->differences.empty()) pending_.push_back({v, c->differences, steadyMs()});
                for (auto it = c->subfolders.rbegin(); it != c->subfolders.rend(); ++it) {
                    std::string path = joinPath(v.path, it->name);
                    if (leadsIntoScope(path)) stack.push_back({std::move(path), it->entry, c->generation, c->device});
                }
            }
            if (Expected<void> r = recheck(); !r) return r;
        }
        while (!pending_.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (Expected<void> r = recheck(); !r) return r;
        }
        if (!send_(replyRecord(p::kTagSummary, std::to_string(folders_) + " " + std::to_string(items_))))
            return Error(Errc::unavailable, "the client went away");
        return {};
    }

private:
    // Whether `folder` is in one of the chosen folders, or above one.
    bool leadsIntoScope(const std::string& folder) const {
        return onlyIn_.empty() || std::any_of(onlyIn_.begin(), onlyIn_.end(), [&](const std::string& d) {
                   return isSameOrInside(folder, d) || isSameOrInside(d, folder);
               });
    }
    bool inScope(const std::string& path) const {
        return onlyIn_.empty() || std::any_of(onlyIn_.begin(), onlyIn_.end(),
                                              [&](const std::string& d) { return isSameOrInside(path, d); });
    }

    // Looks again at the differences due, reports those that last, and
    // sends a sign of progress each second.
    Expected<void> recheck() {
        const int64_t now = steadyMs();
        if (now - lastSentMs_ >= 1000) {
            lastSentMs_ = now;
            if (!send_(replyRecord(p::kTagProgress, std::to_string(folders_) + " " + std::to_string(items_))))
                return Error(Errc::unavailable, "the client went away");
        }
        const bool caughtUp = crawler_.idle();
        while (!pending_.empty()) {
            const PendingDifferences& first = pending_.front();
            const int64_t age = now - first.foundMs;
            if (age < kRecheckAfterMs || (!caughtUp && age < kLongestWaitMs)) break;
            PendingDifferences p = std::move(pending_.front());
            pending_.pop_front();
            Expected<FolderComparison> again =
                compareFolder(state_, options_, p.visit.path, p.visit.entry, p.visit.generation, p.visit.parentDevice);
            if (!again) continue;  // gone meanwhile: its folder above tells
            for (const FolderDifference& d : lastingDifferences(p.first, again->differences)) {
                std::string path = d.name.empty() ? p.visit.path : joinPath(p.visit.path, d.name);
                if (!inScope(path)) continue;
                if (!send_(replyRecord(p::kTagDifference, std::string(kindName(d.kind)) + " " + path)))
                    return Error(Errc::unavailable, "the client went away");
            }
        }
        return {};
    }

    const IndexState& state_;
    const Crawler& crawler_;
    const ServiceOptions& options_;
    const std::vector<std::string>& onlyIn_;
    const std::function<bool(const std::string&)>& send_;
    std::deque<PendingDifferences> pending_;
    uint64_t folders_ = 0, items_ = 0;
    int64_t lastSentMs_ = steadyMs();
};

}  // namespace

Expected<void> streamVerify(const IndexState& state, const Crawler& crawler, const ServiceOptions& options,
                            const std::vector<std::string>& onlyIn,
                            const std::function<bool(const std::string&)>& send) {
    return Walk(state, crawler, options, onlyIn, send).run();
}

}  // namespace qf::index
