#include "service.h"

#include <unistd.h>

#include "answer.h"
#include "index_protocol.h"
#include "wire.h"

namespace qf::index {

Service::Service(ServiceOptions options)
    : options_(std::move(options)),
      watches_(state_, options_),
      crawler_(state_, watches_, options_),
      liveUpdates_(state_, watches_, crawler_),
      housekeeping_(state_, watches_, crawler_, options_),
      follower_(IndexParts{state_, watches_, crawler_, options_}) {
    follower_.loadInitial();
}

Service::~Service() { stop(); }

void Service::loadSnapshot() { housekeeping_.loadSnapshot(); }

void Service::start() {
    {
        std::lock_guard lock(stopMutex_);
        started_ = true;
    }
    crawler_.start();
    follower_.start();
    liveUpdates_.start();
    housekeeping_.start();
    crawler_.catchUp(false);
}

void Service::stop() {
    {
        std::lock_guard lock(stopMutex_);
        bool running = started_ && !stopped_;
        stopped_ = true;
        if (!running) return;
    }
    // Housekeeping, settings and live updates feed the crawler, so they end first.
    follower_.stop();
    housekeeping_.stop();
    liveUpdates_.stop();
    crawler_.stop();
    housekeeping_.saveSnapshot();
}

bool Service::answer(const Request& request, const std::function<bool(const std::string&)>& send, std::string* error) {
    if (request.op == Request::Op::status) {
        send(replyRecord(qf::protocol::kTagStatus, formatStatus(status())));
        return true;
    }
    return streamAnswer(state_, request, options_.searchThreads, send, error);
}

ServiceStatus Service::status() const {
    ServiceStatus st;
    {
        std::shared_lock lock(state_.mutex);
        st.entries = state_.entryCount();
        st.memoryBytes = state_.store.memoryBytes();
        st.unwatched = watches_.unwatched().size();
        st.compactions = state_.compactions;
        st.compactionWaiting = state_.compactionWaiting;
        st.settings = state_.settings;
        st.settingsProblems = state_.settingsProblems;
        for (uint32_t r : state_.store.roots()) st.roots.emplace_back(state_.store.rawName(r));
    }
    st.settingsPath = options_.settingsPath;
    st.rootsFixed = options_.rootsFixed;
    CrawlProgress crawl = crawler_.progress();
    int64_t now = steadyMs();
    st.crawling = !crawl.idle;
    st.queued = crawl.queued;
    st.foldersScanned = crawl.foldersScanned;
    if (crawl.idle && crawl.endMs != 0) {
        st.lastCrawlMs = crawl.endMs - crawl.startMs;
        st.crawlAgeSeconds = (now - crawl.endMs) / 1000;
    } else {
        st.crawlAgeSeconds = (now - crawl.startMs) / 1000;
    }
    st.watches = watches_.count();
    if (FanotifyWatch* fanotify = watches_.fanotify()) st.fanotifyFileSystems = fanotify->fileSystems();
    st.watchLimitReached = watches_.limitReached();
    st.rescanSeconds = options_.rescanSeconds;
    if (int64_t written = housekeeping_.snapshotWrittenMs()) st.snapshotAgeSeconds = (now - written) / 1000;
    st.snapshotLoaded = housekeeping_.snapshotLoaded();
    if (const RetryBackoff& retry = housekeeping_.snapshotRetry(); retry.failing()) {
        st.snapshotFailure = retry.reason();
        st.snapshotRetrySeconds = std::max<int64_t>(0, retry.nextAttemptMs() - now) / 1000;
    }
    st.snapshotPath = options_.snapshotPath;
    st.pid = ::getpid();
    return st;
}

}  // namespace qf::index
