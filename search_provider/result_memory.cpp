#include "search_provider/result_memory.h"

#include <algorithm>

namespace qf {

ResultMemory::ResultMemory(std::size_t capacity, std::size_t pinnedCallers)
    : capacity_(capacity), pinnedCallers_(pinnedCallers) {}

void ResultMemory::remember(const std::string& caller, const std::vector<Hit>& hits) {
    unpin(caller);
    std::vector<std::string>& ids = newest_[caller];
    for (const Hit& hit : hits) {
        auto [it, fresh] = items_.try_emplace(hit.id(), Item{hit, 0, caller});
        if (!fresh) {
            byUse_.erase(it->second.used);
            it->second.hit = hit;
            it->second.lastCaller = caller;
        }
        it->second.used = ++clock_;
        byUse_.emplace(it->second.used, hit.id());
        // The same path twice in one answer is pinned once.
        if (std::find(ids.begin(), ids.end(), hit.id()) != ids.end()) continue;
        if (it->second.pins++ == 0) ++pinnedItems_;
        ids.push_back(hit.id());
    }
    pinOrder_.push_back(caller);
    while (pinOrder_.size() > pinnedCallers_) unpin(pinOrder_.front());
    evict();
}

const Hit* ResultMemory::find(const std::string& id) const {
    const auto it = items_.find(id);
    return it == items_.end() ? nullptr : &it->second.hit;
}

void ResultMemory::forget(const std::string& caller) {
    unpin(caller);
    for (auto it = items_.begin(); it != items_.end();) {
        const auto next = std::next(it);
        if (it->second.lastCaller == caller && it->second.pins == 0) erase(it);
        it = next;
    }
}

void ResultMemory::unpin(const std::string& caller) {
    const auto answer = newest_.find(caller);
    if (answer == newest_.end()) return;
    for (const std::string& id : answer->second) {
        if (const auto it = items_.find(id); it != items_.end() && --it->second.pins == 0) --pinnedItems_;
    }
    newest_.erase(answer);
    pinOrder_.erase(std::find(pinOrder_.begin(), pinOrder_.end(), caller));
}

void ResultMemory::erase(std::unordered_map<std::string, Item>::iterator it) {
    if (it->second.pins > 0) --pinnedItems_;
    byUse_.erase(it->second.used);
    items_.erase(it);
}

void ResultMemory::evict() {
    // Pinned items are at most pinnedCallers_ answers, so the walk past them
    // is short.
    for (auto oldest = byUse_.begin(); items_.size() - pinnedItems_ > capacity_ && oldest != byUse_.end();) {
        const auto item = items_.find(oldest->second);
        ++oldest;
        if (item->second.pins == 0) erase(item);
    }
}

}  // namespace qf
