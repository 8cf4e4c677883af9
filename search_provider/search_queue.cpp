#include "search_provider/search_queue.h"

#include <algorithm>

namespace qf {

SearchQueue::SearchQueue(unsigned workers, std::size_t mostWaiting) : mostWaiting_(mostWaiting) {
    workers_.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this](const std::stop_token& quit) { serve(quit); });
}

SearchQueue::~SearchQueue() {
    {
        std::lock_guard lock(mutex_);
        waiting_.clear();
        for (auto& [caller, source] : running_) source.request_stop();
    }
    // Each jthread is asked to stop, which wakes its wait, and joined.
    workers_.clear();
}

SearchQueue::Replaced SearchQueue::withdraw(const std::string& caller, std::list<Waiting>::iterator* position) {
    if (auto run = running_.find(caller); run != running_.end()) run->second.request_stop();
    const auto it =
        std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) { return w.caller == caller; });
    if (it == waiting_.end()) return {};
    Replaced replaced = std::move(it->replaced);
    if (position) {
        *position = it;
    } else {
        waiting_.erase(it);
    }
    return replaced;
}

bool SearchQueue::submit(const std::string& caller, Work work, Replaced replaced) {
    Replaced older;
    {
        std::lock_guard lock(mutex_);
        auto position = waiting_.end();
        older = withdraw(caller, &position);
        if (position != waiting_.end()) {
            // The newer search takes the older one's turn.
            position->work = std::move(work);
            position->replaced = std::move(replaced);
        } else {
            if (waiting_.size() >= mostWaiting_) return false;
            waiting_.push_back({caller, std::move(work), std::move(replaced)});
        }
    }
    wake_.notify_all();
    if (older) older();
    return true;
}

void SearchQueue::cancel(const std::string& caller) {
    Replaced older;
    {
        std::lock_guard lock(mutex_);
        older = withdraw(caller, nullptr);
    }
    if (older) older();
}

bool SearchQueue::idle() const {
    std::lock_guard lock(mutex_);
    return waiting_.empty() && running_.empty();
}

std::list<SearchQueue::Waiting>::iterator SearchQueue::nextRunnable() {
    return std::find_if(waiting_.begin(), waiting_.end(),
                        [&](const Waiting& w) { return running_.find(w.caller) == running_.end(); });
}

void SearchQueue::serve(const std::stop_token& quit) {
    std::unique_lock lock(mutex_);
    while (wake_.wait(lock, quit, [&] { return nextRunnable() != waiting_.end(); })) {
        const auto next = nextRunnable();
        Waiting job = std::move(*next);
        waiting_.erase(next);
        const std::stop_token stop = running_[job.caller].get_token();
        lock.unlock();
        job.work(stop);
        lock.lock();
        running_.erase(job.caller);
        // The caller may have a newer search waiting for this one to end.
        wake_.notify_all();
    }
}

}  // namespace qf
