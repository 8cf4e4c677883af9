#pragma once
#include <functional>
#include <mutex>
#include <string>

#include "base/expected.h"
#include "index/client/request.h"
#include "index/client/service_status.h"
#include "index/service/crawler.h"
#include "index/service/follower.h"
#include "index/service/housekeeping.h"
#include "index/service/index_state.h"
#include "index/service/live_updates.h"
#include "index/service/scrub.h"
#include "index/service/service_options.h"
#include "index/service/watches.h"

namespace qf::index {

// The index and everything that keeps it current: the crawl, the watches
// and their live updates, the housekeeping (snapshot, rescans of unwatched
// folders, compaction), the background check against the disk, the settings and mounts that decide what is indexed
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
    // Fails when one of its threads cannot start; stop() ends the others.
    Expected<void> start();
    enum class OnStop { saveSnapshot, keepSnapshot };
    // Stops every thread and writes the snapshot unless told to keep the
    // one on disk (another service owns it). Safe to call twice.
    void stop(OnStop onStop = OnStop::saveSnapshot);

    // Streams the answer to `request` as reply records; `send` returns false
    // when the client went away. The final end record is not included: an
    // answer that is not whole fails, saying why.
    Expected<void> answer(const Request& request, const std::function<bool(const std::string&)>& send);
    ServiceStatus status() const;
    // Answers that wait for the crawl stop waiting: the server is stopping.
    void endWaits() { crawler_.endWaits(); }
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
    Scrub scrub_;
    Follower follower_;

    std::mutex stopMutex_;
    bool started_ = false;  // guarded by stopMutex_
    bool stopped_ = false;  // guarded by stopMutex_
};

}  // namespace qf::index
