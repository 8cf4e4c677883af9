#include "index/service/service.h"

#include <unistd.h>

#include <string>

#include "index/client/wire.h"
#include "index/service/answer.h"
#include "index/service/verify.h"
#include "protocol/index_protocol.h"

namespace qf::index {

Service::Service(ServiceOptions options)
    : options_(std::move(options)),
      watches_(state_, options_),
      crawler_(state_, watches_, options_),
      liveUpdates_(state_, watches_, crawler_),
      housekeeping_(state_, watches_, crawler_, options_),
      scrub_(state_, crawler_, options_),
      follower_(IndexParts{state_, watches_, crawler_, options_}) {
    follower_.loadInitial();
}

Service::~Service() { stop(); }

void Service::loadSnapshot() { housekeeping_.loadSnapshot(); }

Expected<void> Service::start() {
    {
        std::lock_guard lock(stopMutex_);
        started_ = true;
    }
    // Whatever started before a failure ends with stop(), as usual.
    if (Expected<void> started = crawler_.start(); !started) return started;
    if (Expected<void> started = follower_.start(); !started) return started;
    if (Expected<void> started = liveUpdates_.start(); !started) return started;
    if (Expected<void> started = housekeeping_.start(); !started) return started;
    if (Expected<void> started = scrub_.start(); !started) return started;
    crawler_.catchUp(false);
    return {};
}

void Service::stop(OnStop onStop) {
    {
        std::lock_guard lock(stopMutex_);
        bool running = started_ && !stopped_;
        stopped_ = true;
        if (!running) return;
    }
    // Housekeeping, the check, settings and live updates feed the crawler,
    // so they end first.
    follower_.stop();
    housekeeping_.stop();
    scrub_.stop();
    liveUpdates_.stop();
    crawler_.stop();
    if (onStop == OnStop::saveSnapshot) housekeeping_.saveSnapshot();
}

Expected<void> Service::answer(const Request& request, const std::function<bool(const std::string&)>& send) {
    // Short of memory, one question fails and says so; the service and the
    // other questions go on. Whatever was sent already ends with this
    // failure, never like a whole answer.
    try {
        if (request.op == Request::Op::status) {
            send(encodeStatus(status()));
            return {};
        }
        if (request.op == Request::Op::best) return sendBest(state_, request, options_.searchThreads, send);
        if (request.op == Request::Op::verify) return streamVerify(state_, crawler_, options_, request.onlyIn, send);
        // Names come in before times: an answer by change time waits for
        // them, and says so rather than answer with what is in so far.
        if (request.op == Request::Op::changedBetween && !crawler_.awaitTimes(options_.timesWait)) {
            const CrawlProgress crawl = crawler_.progress();
            return Error(Errc::unavailable, crawl.namesDone ? "the index is still reading change times (" +
                                                                  std::to_string(crawl.timesPending) +
                                                                  " folders left); ask again shortly"
                                                            : "the index is still being built; ask again shortly");
        }
        // Taken before the answer: a crawl that ends while it streams may
        // still have listed a folder after the answer passed it.
        const CrawlProgress crawl = crawler_.progress();
        auto whole = streamAnswer(state_, request, options_.searchThreads, send);
        if (whole && (!crawl.namesDone || crawl.unlisted > 0))
            send(replyRecord(qf::protocol::kTagNotice,
                             !crawl.namesDone
                                 ? "the index is still being built; this answer may lack items"
                                 : std::to_string(crawl.unlisted) + (crawl.unlisted == 1 ? " folder" : " folders") +
                                       " could not be listed yet (" + crawl.unlistedReason +
                                       "); this answer may lack what they hold"));
        return whole;
    } catch (const std::exception& e) {
        return Error(Errc::unavailable,
                     std::string("the index service cannot answer this question now (") + e.what() + "); ask again");
    }
}

ServiceStatus Service::status() const {
    ServiceStatus st;
    {
        std::shared_lock lock(state_.mutex);
        st.entries = state_.entryCount();
        st.memoryBytes = state_.store.memoryBytes();
        st.unwatched = watches_.unwatched().size();
        st.compactions = state_.compactions;
        st.compactionWaiting = flagOf(state_.compactionWaiting);
        const IndexSettings& set = state_.settings;
        st.settingRootsChosen = flagOf(set.roots.has_value());
        st.settingRoots = set.roots.value_or(std::vector<std::string>{});
        st.settingsFailure = state_.settingsFailure;
        if (state_.settingsFailure) st.settingsHeld = flagOf(state_.settingsHeld);
        st.excludedNames = set.excludedNames;
        st.excludedPaths = set.excludedPaths;
        st.hiddenIndexed = flagOf(set.hidden);
        st.networkIndexed = flagOf(set.network);
        st.settingsProblems = state_.settingsProblems;
        for (uint32_t r : state_.store.roots()) st.roots.emplace_back(state_.store.rawName(r));
        st.waitingRoots = state_.waitingRoots;
    }
    st.settingsPath = options_.settingsPath;
    st.rootsFixed = flagOf(options_.rootsFixed);
    CrawlProgress crawl = crawler_.progress();
    int64_t now = steadyMs();
    st.crawling = flagOf(!crawl.namesDone);
    st.queued = crawl.queued;
    st.timesPending = crawl.timesPending;
    st.foldersScanned = crawl.foldersScanned;
    st.unlistedFolders = crawl.unlisted;
    if (crawl.unlisted > 0) st.unlistedReason = crawl.unlistedReason;
    if (crawl.namesDone && crawl.namesEndMs != 0) {
        st.lastCrawlMs = crawl.namesEndMs - crawl.startMs;
        st.crawlAgeSeconds = (now - crawl.namesEndMs) / 1000;
    } else {
        st.crawlAgeSeconds = (now - crawl.startMs) / 1000;
    }
    if (crawl.idle && crawl.endMs != 0) st.lastCrawlTimesMs = crawl.endMs - crawl.startMs;
    st.watches = watches_.count();
    if (FanotifyWatch* fanotify = watches_.fanotify()) st.fanotifyFileSystems = fanotify->fileSystems();
    st.watchLimitReached = flagOf(watches_.limitReached());
    st.rescanSeconds = options_.rescanSeconds;
    if (std::optional<int64_t> written = housekeeping_.snapshotWrittenMs())
        st.snapshotAgeSeconds = (now - *written) / 1000;
    st.snapshotLoaded = flagOf(housekeeping_.snapshotLoaded());
    if (const RetryBackoff& retry = housekeeping_.snapshotRetry(); retry.failing()) {
        st.snapshotFailure = retry.reason();
        st.snapshotRetrySeconds = std::max<int64_t>(0, retry.nextAttemptMs() - now) / 1000;
    }
    st.snapshotPath = options_.snapshotPath;
    const ScrubReport check = scrub_.report();
    st.checkPeriodSeconds = options_.scrubPeriod.count();
    st.checkFolders = check.foldersChecked;
    st.checkRepaired = check.repaired;
    if (check.lastPassEndMs) {
        st.lastCheckAgeSeconds = (now - *check.lastPassEndMs) / 1000;
        st.lastCheckRepaired = check.lastPassRepaired;
        st.lastCheckFolders = check.lastPassFolders;
    }
    st.pid = ::getpid();
    return st;
}

}  // namespace qf::index
