#pragma once
#include <functional>
#include <mutex>
#include <string>

#include "crawler.h"
#include "follower.h"
#include "housekeeping.h"
#include "index_state.h"
#include "live_updates.h"
#include "request.h"
#include "service_options.h"
#include "service_status.h"
#include "watches.h"

namespace qf::index {

// The index and everything that keeps it current: the crawl, the watches
// and their live updates, the housekeeping (snapshot, rescans of unwatched
// folders, compaction), the settings and mounts that decide what is indexed
// and the answers. Queries may run on any thread at
// any time, also during the crawl.
class Service {
public:
    explicit Service(ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Loads the snapshot when there is one for the same roots; call before start.
    void loadSnapshot();
    // Starts the crawl (a catch-up when a snapshot was loaded) and the watches.
    void start();
    // Stops every thread and writes the snapshot. Safe to call twice.
    void stop();

    // Streams the answer to `request` as reply records; `send` returns false
    // when the client went away. The final end record is not included: false
    // with `error` set when the answer is not whole.
    bool answer(const Request& request, const std::function<bool(const std::string&)>& send, std::string* error);
    ServiceStatus status() const;
    // Reads the settings file again (SIGHUP).
    void reloadSettings() { follower_.reload(); }

private:
    // Members are built in this order and torn down in reverse: the parts
    // refer to the state, the options and the parts declared before them.
    const ServiceOptions options_;
    IndexState state_;
    Watches watches_;
    Crawler crawler_;
    LiveUpdates liveUpdates_;
    Housekeeping housekeeping_;
    Follower follower_;

    std::mutex stopMutex_;
    bool started_ = false;  // guarded by stopMutex_
    bool stopped_ = false;  // guarded by stopMutex_
};

}  // namespace qf::index
