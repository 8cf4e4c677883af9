#include "index/store/search.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <system_error>
#include <thread>

#include "index/store/byte_search.h"
#include "index/store/fold.h"

namespace qf::index {
namespace {

// Splits the entries into contiguous ranges and scans them on several
// threads, one part each; returns the number of parts.
constexpr size_t kMinPerThread = 1 << 16;

size_t partsFor(size_t count, unsigned threads) {
    return std::max<size_t>(1, std::min<size_t>(threads, count / kMinPerThread));
}

using PartScan = std::function<void(uint32_t lo, uint32_t hi, size_t part)>;

size_t scanParts(size_t count, unsigned threads, const PartScan& scan) {
    const size_t parts = partsFor(count, threads);
    auto bound = [&](size_t k) { return static_cast<uint32_t>(count * k / parts); };
    std::vector<std::jthread> pool;
    pool.reserve(parts - 1);
    size_t k = 1;
    // A thread that cannot start (no memory for its stack, no thread left)
    // leaves its part and those after it to this one: the answer comes
    // later, but whole.
    for (; k < parts; ++k) {
        try {
            pool.emplace_back([&, k] { scan(bound(k), bound(k + 1), k); });
        } catch (const std::system_error&) {
            break;
        }
    }
    for (; k < parts; ++k) scan(bound(k), bound(k + 1), k);
    scan(0, bound(1), 0);
    return parts;
}

using RangeScan = std::function<void(uint32_t lo, uint32_t hi, std::vector<uint32_t>& out)>;

// The parts' answers concatenated in entry order.
std::vector<uint32_t> scanInParallel(size_t count, unsigned threads, const RangeScan& scan) {
    std::vector<std::vector<uint32_t>> results(partsFor(count, threads));
    scanParts(count, threads, [&](uint32_t lo, uint32_t hi, size_t part) { scan(lo, hi, results[part]); });
    if (results.size() == 1) return std::move(results[0]);
    size_t total = 0;
    for (auto& r : results) total += r.size();
    std::vector<uint32_t> all;
    all.reserve(total);
    for (auto& r : results) all.insert(all.end(), r.begin(), r.end());
    return all;
}

// Where a part's hits go, for visitContaining: straight to the caller.
struct PartSink {
    const std::function<void(size_t part, uint32_t id)>& take;
    size_t part;
    void push_back(uint32_t id) const { take(part, id); }
};

bool answers(const Entry& e) { return e.type != EntryType::dead && e.type != EntryType::root; }

// The entry at or after `from` whose folded name holds arena byte `offset`.
// Hits come in arena order, so a galloping search from the previous hit
// touches a few nearby entries instead of binary-searching the whole table.
uint32_t entryFrom(const EntryTable& entries, uint32_t from, uint32_t hi, uint32_t offset) {
    uint32_t step = 1, lo = from;
    while (from + step < hi && entries[from + step].foldOff <= offset) {
        lo = from + step;
        step *= 2;
    }
    uint32_t top = std::min<uint64_t>(hi, static_cast<uint64_t>(from) + step);
    auto it = std::upper_bound(entries.begin() + lo, entries.begin() + top, offset,
                               [](uint32_t off, const Entry& e) { return off < e.foldOff; });
    return static_cast<uint32_t>((it - entries.begin()) - 1);
}

template <class Out>
void scanSpan(const IndexStore& store, std::string_view needle, uint32_t lo, uint32_t hi, Out& out) {
    const EntryTable& entries = store.entries();
    const Arena& arena = store.foldedArena();
    if (lo >= hi) return;
    const char* base = arena.data();
    const char* cur = base + entries[lo].foldOff;
    const char* end = base + (hi < entries.size() ? entries[hi].foldOff : arena.size());
    uint32_t e = lo;
    while (cur < end) {
        const char* hit = findBytes(cur, end, needle);
        if (!hit) break;
        e = entryFrom(entries, e, hi, static_cast<uint32_t>(hit - base));
        if (answers(entries[e])) out.push_back(e);
        cur = base + store.foldedEnd(e);
    }
}

// Reads only the blocks of entries whose trigram bitmap admits the needle,
// joining neighbouring blocks into one span.
template <class Out>
void scanContaining(const IndexStore& store, std::string_view needle, uint32_t lo, uint32_t hi, Out& out) {
    const NameFilter& filter = store.nameFilter();
    const NameFilter::Probe probe = NameFilter::probeFor(needle);
    if (probe.bits.empty()) return scanSpan(store, needle, lo, hi, out);
    constexpr uint32_t kBlock = NameFilter::kBlockEntries;
    uint32_t spanStart = lo, spanEnd = lo;
    for (uint32_t start = lo; start < hi;) {
        const uint32_t end = std::min<uint64_t>(hi, (static_cast<uint64_t>(start) / kBlock + 1) * kBlock);
        if (filter.mayContain(start / kBlock, probe)) {
            if (spanEnd != start) {
                scanSpan(store, needle, spanStart, spanEnd, out);
                spanStart = start;
            }
            spanEnd = end;
        }
        start = end;
    }
    scanSpan(store, needle, spanStart, spanEnd, out);
}

template <class Out>
void scanAll(const IndexStore& store, uint32_t lo, uint32_t hi, Out& out) {
    const EntryTable& entries = store.entries();
    for (uint32_t i = lo; i < hi; ++i)
        if (answers(entries[i])) out.push_back(i);
}

// Threads pay off only for long scans: when the filter leaves few blocks
// to read, starting threads would cost more than the reading.
unsigned threadsWorthStarting(const IndexStore& store, std::string_view needle, unsigned threads) {
    const NameFilter::Probe probe = NameFilter::probeFor(needle);
    if (probe.bits.empty() || threads <= 1) return threads;
    const uint32_t blocks =
        static_cast<uint32_t>((store.size() + NameFilter::kBlockEntries - 1) / NameFilter::kBlockEntries);
    size_t admitted = 0;
    for (uint32_t b = 0; b < blocks; ++b)
        if (store.nameFilter().mayContain(b, probe)) ++admitted;
    return admitted * NameFilter::kBlockEntries < kMinPerThread ? 1 : threads;
}

}  // namespace

std::vector<uint32_t> findContaining(const IndexStore& store, std::string_view foldedNeedle, unsigned threads) {
    threads = threadsWorthStarting(store, foldedNeedle, threads);
    return scanInParallel(store.size(), threads, [&](uint32_t lo, uint32_t hi, std::vector<uint32_t>& out) {
        if (foldedNeedle.empty())
            scanAll(store, lo, hi, out);
        else
            scanContaining(store, foldedNeedle, lo, hi, out);
    });
}

size_t visitContaining(const IndexStore& store, std::string_view foldedNeedle, unsigned threads,
                       const std::function<void(size_t part, uint32_t id)>& take) {
    threads = threadsWorthStarting(store, foldedNeedle, threads);
    return scanParts(store.size(), threads, [&](uint32_t lo, uint32_t hi, size_t part) {
        PartSink sink{take, part};
        if (foldedNeedle.empty())
            scanAll(store, lo, hi, sink);
        else
            scanContaining(store, foldedNeedle, lo, hi, sink);
    });
}

std::vector<uint32_t> findMatching(const IndexStore& store, const std::vector<GlobToken>& tokens, FoldMode mode,
                                   unsigned threads) {
    const FoldMode full{true, true};
    const GlobPattern coarse(tokens, full);
    const GlobPattern exact(tokens, mode);
    const std::string needle = coarse.longestLiteral();
    threads = threadsWorthStarting(store, needle, threads);
    return scanInParallel(store.size(), threads, [&](uint32_t lo, uint32_t hi, std::vector<uint32_t>& out) {
        std::vector<uint32_t> candidates;
        if (needle.empty())
            scanAll(store, lo, hi, candidates);
        else
            scanContaining(store, needle, lo, hi, candidates);
        for (uint32_t i : candidates) {
            if (!coarse.matches(store.foldedName(i))) continue;
            if (mode != full && !exact.matches(foldName(store.rawName(i), mode))) continue;
            out.push_back(i);
        }
    });
}

std::vector<uint32_t> findChanged(const IndexStore& store, int64_t notBefore, int64_t before, unsigned threads) {
    const EntryTable& entries = store.entries();
    // Whole seconds on both sides: a time in nanoseconds is at or after a
    // second exactly when its own second is.
    return scanInParallel(store.size(), threads, [&](uint32_t lo, uint32_t hi, std::vector<uint32_t>& out) {
        for (uint32_t i = lo; i < hi; ++i) {
            const Entry& e = entries[i];
            if (!answers(e) || !e.times.known()) continue;
            const int64_t changed = e.times.seconds();
            if (changed >= notBefore && changed < before) out.push_back(i);
        }
    });
}

std::vector<uint32_t> findForRequest(const IndexStore& store, const Request& request, unsigned threads) {
    switch (request.op) {
        case Request::Op::nameContains:
            return findContaining(store, foldName(request.value), threads);
        case Request::Op::nameGlob:
            return findMatching(store, globTokensFromText(request.value), request.mode, threads);
        case Request::Op::changedBetween:
            return findChanged(store, request.notBefore, request.before, threads);
        case Request::Op::status:
        case Request::Op::best:
        case Request::Op::verify:
            break;
    }
    return {};
}

}  // namespace qf::index
