#include "index/service/answer.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "base/path_names.h"
#include "index/client/best_answer.h"
#include "index/client/wire.h"
#include "index/store/best_matches.h"
#include "index/store/fold.h"
#include "index/store/path_order.h"
#include "index/store/search.h"
#include "protocol/index_protocol.h"

namespace qf::index {

namespace {

// Name answers are sent in path order up to this size. Larger ones are
// mostly cut short by their reader (the name queries keep the first 50,000
// lines), and ordering them would delay the first line for nothing.
constexpr size_t kMostOrdered = 300000;

// Names in path order, which spares every reader its sort; changes newest
// first, whatever their number, so that a reader that keeps the first lines
// (the recent-files list keeps 2,000) keeps the latest ones.
void orderAnswer(const IndexStore& store, const Request& request, std::vector<uint32_t>& ids, unsigned threads) {
    if (request.op == Request::Op::changedBetween) {
        std::stable_sort(ids.begin(), ids.end(), [&](uint32_t a, uint32_t b) {
            return store.at(a).times.seconds() > store.at(b).times.seconds();
        });
    } else if (ids.size() <= kMostOrdered) {
        sortByPath(store, ids, threads);
    }
}

// The most names one best request may ask for: a result list, not a listing.
constexpr uint32_t kMostBest = 1000;

Expected<BestQuery> bestQueryFor(const Request& request) {
    if (request.limit == 0 || request.limit > kMostBest)
        return Error(Errc::invalidInput, "a best request asks for 1 to " + std::to_string(kMostBest) + " names");
    if (request.terms.empty() && request.patterns.empty())
        return Error(Errc::invalidInput, "a best request needs a word or a pattern");
    if (!request.onlyIn.empty())
        return Error(Errc::invalidInput, "a best request covers the whole index, not single folders");
    BestQuery query;
    for (const std::string& term : request.terms) query.terms.push_back(foldName(term));
    for (const std::string& pattern : request.patterns)
        query.patterns.emplace_back(globTokensFromText(pattern), FoldMode{true, true});
    query.typed = foldName(request.value);
    query.limit = request.limit;
    return query;
}

}  // namespace

Expected<void> sendBest(IndexState& state, const Request& request, unsigned threads,
                        const std::function<bool(const std::string&)>& send) {
    Expected<BestQuery> query = bestQueryFor(request);
    if (!query) return std::move(query).error();
    std::string records;
    {
        // The few paths are built under the same lock as the search, so
        // every one of them names the entry that was ranked.
        std::shared_lock lock(state.mutex);
        const BestMatches found = findBest(state.store, *query, threads);
        records = replyRecord(qf::protocol::kTagCount, std::to_string(found.matches));
        for (const BestMatch& match : found.best) {
            const Entry& entry = state.store.at(match.id);
            RankedEntry ranked{match.rank, entry.isFolder(), std::nullopt, state.store.path(match.id)};
            // The index keeps the second; the earliest one would not fit in nanoseconds.
            constexpr int64_t kBillion = 1'000'000'000;
            if (entry.times.known()) ranked.changedNs = std::max(entry.times.seconds(), kNoTime / kBillion) * kBillion;
            records += replyRecord(qf::protocol::kTagRanked, rankedPayload(ranked));
        }
    }
    if (!send(records)) return Error(Errc::unavailable, "the client went away");
    return {};
}

Expected<void> streamAnswer(IndexState& state, const Request& request, unsigned threads,
                            const std::function<bool(const std::string&)>& send) {
    struct Streaming {
        explicit Streaming(std::atomic<int>& c) : count(c) {}
        ~Streaming() {
            if (held) --count;
        }
        Streaming(const Streaming&) = delete;
        Streaming& operator=(const Streaming&) = delete;
        std::atomic<int>& count;
        bool held = false;
    } streaming{state.answersStreaming};
    std::vector<uint32_t> ids;
    uint64_t generation;
    {
        std::shared_lock lock(state.mutex);
        ids = findForRequest(state.store, request, threads);
        if (!request.countOnly) orderAnswer(state.store, request, ids, threads);
        generation = state.generation;
        ++state.answersStreaming;
        streaming.held = true;
    }
    if (request.countOnly && request.onlyIn.empty()) {
        send(replyRecord(qf::protocol::kTagCount, std::to_string(ids.size())));
        return {};
    }
    // Paths are built in slices so that writers are never held up by a slow
    // reader on the other end of the socket. The first slice is short: a
    // reader that waits for the first line before asking its next question
    // gets it as soon as the answer is ordered.
    constexpr size_t kFirstSlice = 128, kSlice = 4096;
    size_t counted = 0;
    std::string chunk;
    for (size_t begin = 0, end = 0; begin < ids.size(); begin = end) {
        chunk.clear();
        {
            std::shared_lock lock(state.mutex);
            if (generation != state.generation) {
                // Compaction waits for streaming answers, so only a reload gets here.
                return Error(Errc::unavailable, "the index was rebuilt during the answer; ask again");
            }
            end = std::min(ids.size(), begin + (begin == 0 ? kFirstSlice : kSlice));
            // Answers come folder by folder, so the folder's path is built once
            // for a run of its entries; only within one slice, as the tree may
            // change between slices.
            uint32_t folder = kNoEntry;
            std::string folderPath;
            for (size_t k = begin; k < end; ++k) {
                if (k + 16 < end) state.store.prefetchEntry(ids[k + 16]);
                if (k + 8 < end) state.store.prefetchRawName(ids[k + 8]);
                const Entry& entry = state.store.at(ids[k]);
                if (!entry.alive()) continue;
                // The record is written in place and taken back if it is left out.
                const size_t mark = chunk.size();
                chunk += qf::protocol::kTagPath;
                if (entry.parent == kNoEntry) {
                    state.store.appendPath(ids[k], chunk);
                } else {
                    if (entry.parent != folder) {
                        folder = entry.parent;
                        folderPath.clear();
                        state.store.appendPath(folder, folderPath);
                        if (folderPath.empty() || folderPath.back() != '/') folderPath += '/';
                    }
                    chunk += folderPath;
                    chunk += state.store.rawName(ids[k]);
                }
                const std::string_view path(chunk.data() + mark + 1, chunk.size() - mark - 1);
                if (!request.onlyIn.empty() &&
                    std::none_of(request.onlyIn.begin(), request.onlyIn.end(),
                                 [&](const std::string& dir) { return isSameOrInside(path, dir); })) {
                    chunk.resize(mark);
                    continue;
                }
                ++counted;
                if (request.countOnly) {
                    chunk.resize(mark);
                    continue;
                }
                chunk += '\0';
            }
        }
        if (!chunk.empty() && !send(chunk)) {
            return Error(Errc::unavailable, "the client went away");
        }
    }
    if (request.countOnly) send(replyRecord(qf::protocol::kTagCount, std::to_string(counted)));
    return {};
}

}  // namespace qf::index
