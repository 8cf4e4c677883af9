#pragma once
// Searches of many callers at once, a few at a time. Each caller (a
// connection on the bus) has at most one search waiting and one running: a
// newer search from it replaces the one that waits and stops the one that
// runs, and touches no other caller's. Callers take turns in the order they
// first asked, so none is starved by another that keeps typing.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace qf {

class SearchQueue {
public:
    // Runs on a worker thread; it should return soon once `stop` is requested.
    using Work = std::function<void(std::stop_token stop)>;
    // Told, on the thread that submitted, that a waiting search was replaced
    // before it ran.
    using Replaced = std::function<void()>;

    SearchQueue(unsigned workers, std::size_t mostWaiting);
    // Stops what runs, drops what waits (without telling) and joins the workers.
    ~SearchQueue();
    SearchQueue(const SearchQueue&) = delete;
    SearchQueue& operator=(const SearchQueue&) = delete;

    // False, and nothing queued, when `mostWaiting` other callers wait already.
    bool submit(const std::string& caller, Work work, Replaced replaced);
    // The caller's search that waits is replaced by none, the one that runs
    // is stopped.
    void cancel(const std::string& caller);
    // Nothing runs and nothing waits.
    bool idle() const;

private:
    struct Waiting {
        std::string caller;
        Work work;
        Replaced replaced;
    };
    void serve(const std::stop_token& quit);
    // The first waiting search whose caller has none running; end() if none.
    std::list<Waiting>::iterator nextRunnable();
    // With mutex_ held: stops the caller's running search, takes out its waiting one.
    Replaced withdraw(const std::string& caller, std::list<Waiting>::iterator* position);

    const std::size_t mostWaiting_;
    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::list<Waiting> waiting_;                       // in the order the callers asked
    std::map<std::string, std::stop_source> running_;  // by caller
    std::vector<std::jthread> workers_;                // last: they use everything above
};

}  // namespace qf
