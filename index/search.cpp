#include "search.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>

#include "byte_search.h"

namespace qf::index {
namespace {

using RangeScan = std::function<void(uint32_t lo, uint32_t hi, std::vector<uint32_t>& out)>;

// Splits the entries into contiguous ranges, scans them on several threads
// and concatenates the answers in entry order.
constexpr size_t kMinPerThread = 1 << 16;

std::vector<uint32_t> scanInParallel(size_t count, unsigned threads, const RangeScan& scan) {
    size_t parts = std::max<size_t>(1, std::min<size_t>(threads, count / kMinPerThread));
    std::vector<std::vector<uint32_t>> results(parts);
    auto bound = [&](size_t k) { return static_cast<uint32_t>(count * k / parts); };
    if (parts == 1) {
        scan(0, static_cast<uint32_t>(count), results[0]);
        return std::move(results[0]);
    }
    {
        std::vector<std::jthread> pool;
        for (size_t k = 1; k < parts; ++k) pool.emplace_back([&, k] { scan(bound(k), bound(k + 1), results[k]); });
        scan(0, bound(1), results[0]);
    }
    size_t total = 0;
    for (auto& r : results) total += r.size();
    std::vector<uint32_t> all;
    all.reserve(total);
    for (auto& r : results) all.insert(all.end(), r.begin(), r.end());
    return all;
}

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

void scanSpan(const IndexStore& store, std::string_view needle, uint32_t lo, uint32_t hi, std::vector<uint32_t>& out) {
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
        cur = base + entries[e].foldOff + entries[e].foldLen + 1;
    }
}

// Reads only the blocks of entries whose trigram bitmap admits the needle,
// joining neighbouring blocks into one span.
void scanContaining(const IndexStore& store, std::string_view needle, uint32_t lo, uint32_t hi,
                    std::vector<uint32_t>& out) {
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

void scanAll(const IndexStore& store, uint32_t lo, uint32_t hi, std::vector<uint32_t>& out) {
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
    // Bounds are in seconds, times in nanoseconds.
    auto toNs = [](int64_t s) -> int64_t {
        constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 1000000000;
        if (s >= kLimit) return std::numeric_limits<int64_t>::max();
        if (s <= -kLimit) return std::numeric_limits<int64_t>::min() + 1;
        return s * 1000000000;
    };
    const int64_t lo_ns = toNs(notBefore), hi_ns = toNs(before);
    return scanInParallel(store.size(), threads, [&](uint32_t lo, uint32_t hi, std::vector<uint32_t>& out) {
        for (uint32_t i = lo; i < hi; ++i) {
            const Entry& e = entries[i];
            if (answers(e) && e.mtime != kNoTime && e.mtime >= lo_ns && e.mtime < hi_ns) out.push_back(i);
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
            break;
    }
    return {};
}

bool isSameOrInside(std::string_view path, std::string_view folder) {
    if (folder == "/") return !path.empty() && path[0] == '/';
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

}  // namespace qf::index
