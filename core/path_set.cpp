#include "core/path_set.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/utf8.h"
#include "core/text.h"

namespace qf {

namespace {

std::vector<PathView> splitViews(std::string_view text) {
    std::vector<PathView> lines;
    const char* base = text.data();
    std::size_t start = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        const void* found = std::memchr(base + from, '\n', text.size() - from);
        if (!found) break;
        const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(found) - base);
        from = i + 1;
        // CR LF is one character, not a line end; a lone CR is ordinary text.
        if (i > 0 && base[i - 1] == '\r') continue;
        if (i > start) lines.emplace_back(base + start, i - start);
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(base + start, text.size() - start);
    return lines;
}

// Sorting views into one large answer compares long shared prefixes again
// and again, through cache misses. Each round here skips what a group of
// paths shares, sorts the group by the next sixteen bytes held as two
// numbers beside each path, and goes on only into the runs that still tie.
struct Keyed {
    std::uint64_t high;
    std::uint64_t low;
    std::uint32_t index;    // into the paths being sorted
    std::uint32_t clipped;  // the length, capped just past the key's window
};

constexpr std::size_t kWindow = 16;

std::uint64_t bigEndian(const unsigned char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    return __builtin_bswap64(word);
}

void setKey(Keyed& k, std::string_view path, std::size_t depth) {
    unsigned char padded[kWindow] = {};
    const unsigned char* bytes = padded;
    if (depth + kWindow <= path.size()) {
        bytes = reinterpret_cast<const unsigned char*>(path.data() + depth);
    } else if (depth < path.size()) {
        std::memcpy(padded, path.data() + depth, path.size() - depth);
    }
    k.high = bigEndian(bytes);
    k.low = bigEndian(bytes + 8);
    k.clipped = static_cast<std::uint32_t>(std::min(path.size(), depth + kWindow + 1));
}

std::size_t sharedFrom(const std::vector<PathView>& paths, const Keyed* first, const Keyed* last, std::size_t depth) {
    const std::string_view lead = paths[first->index];
    std::size_t shared = lead.size() - std::min(depth, lead.size());
    for (const Keyed* k = first + 1; k != last && shared > 0; ++k) {
        const std::string_view p = paths[k->index];
        const std::size_t most = std::min(shared, p.size() - std::min(depth, p.size()));
        std::size_t n = 0;
        while (n + 8 <= most && std::memcmp(p.data() + depth + n, lead.data() + depth + n, 8) == 0) n += 8;
        while (n < most && p[depth + n] == lead[depth + n]) ++n;
        shared = n;
    }
    return shared;
}

void sortKeyed(const std::vector<PathView>& paths, Keyed* first, Keyed* last, std::size_t depth) {
    if (last - first < 2) return;
    depth += sharedFrom(paths, first, last, depth);
    for (Keyed* k = first; k != last; ++k) setKey(*k, paths[k->index], depth);
    // Equal keys: a path that ends inside the window is a prefix of the
    // others, so the shorter comes first; longer ones tie and go on.
    const auto less = [](const Keyed& a, const Keyed& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        return a.clipped < b.clipped;
    };
    std::sort(first, last, less);
    const std::uint32_t longer = static_cast<std::uint32_t>(depth + kWindow + 1);
    for (Keyed* run = first; run != last;) {
        Keyed* end = run + 1;
        while (end != last && end->high == run->high && end->low == run->low && end->clipped == run->clipped) ++end;
        if (end - run > 1 && run->clipped == longer) sortKeyed(paths, run, end, depth + kWindow);
        run = end;
    }
}

void sortPaths(std::vector<PathView>& paths) {
    std::vector<Keyed> keyed(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) keyed[i].index = static_cast<std::uint32_t>(i);
    sortKeyed(paths, keyed.data(), keyed.data() + keyed.size(), 0);
    std::vector<PathView> sorted;
    sorted.reserve(paths.size());
    for (const Keyed& k : keyed) sorted.push_back(paths[k.index]);
    paths = std::move(sorted);
}

enum class LineForm { invalid, composed, loose };

// Whether a line is valid UTF-8 and in composed form, in one pass. Most
// names hold only ASCII, Latin letters below U+0300 and CJK ideographs
// (U+4000 to U+9FFF), which never combine nor reorder and are checked as
// they are met; any other character sends the line through both full
// checks.
LineForm formOf(std::string_view line) {
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const std::size_t n = line.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            i += asciiPrefixLength(line.substr(i));
        } else if (c >= 0xC2 && c <= 0xCB && i + 1 < n && isUtf8Continuation(p[i + 1])) {
            i += 2;
        } else if (c >= 0xE4 && c <= 0xE9 && i + 2 < n && isUtf8Continuation(p[i + 1]) &&
                   isUtf8Continuation(p[i + 2])) {
            i += 3;
        } else if (!isValidUtf8(line)) {
            return LineForm::invalid;
        } else {
            return isNfc(line) ? LineForm::composed : LineForm::loose;
        }
    }
    return LineForm::composed;
}

}  // namespace

AnswerLines::AnswerLines(std::string output) {
    auto buffer = std::make_shared<const std::string>(std::move(output));
    std::vector<PathView> lines = splitViews(*buffer);
    // Every byte of an answer lies in a line or is a line end, so the answer
    // is valid UTF-8 exactly when each line is. An ASCII line is both valid
    // and composed, which one pass over it tells.
    for (PathView& line : lines) {
        const LineForm form = formOf(line);
        if (form == LineForm::invalid) return;
        line.loose = form == LineForm::loose;
    }
    buffer_ = std::move(buffer);
    lines_ = std::move(lines);
}

std::vector<std::string> AnswerLines::strings() const { return std::vector<std::string>(lines_.begin(), lines_.end()); }

PathSet::PathSet(std::initializer_list<std::string_view> paths)
    : PathSet(std::vector<std::string>(paths.begin(), paths.end())) {}

PathSet::PathSet(const std::vector<std::string>& paths) {
    // One buffer for all, so that the views stay valid however the set moves.
    std::string joined;
    for (const auto& p : paths) joined += p;
    auto buffer = std::make_shared<const std::string>(std::move(joined));
    paths_.reserve(paths.size());
    std::size_t at = 0;
    for (const auto& p : paths) {
        paths_.emplace_back(buffer->data() + at, p.size());
        at += p.size();
    }
    buffers_.push_back(std::move(buffer));
    markLooseAndSort();
}

PathSet::PathSet(AnswerLines answer) : paths_(std::move(answer.lines_)) {
    if (answer.buffer_) buffers_.push_back(std::move(answer.buffer_));
    sortIfNeeded();
}

void PathSet::markLooseAndSort() {
    for (PathView& path : paths_) path.loose = formOf(path) == LineForm::loose;
    sortIfNeeded();
}

void PathSet::sortIfNeeded() {
    // The index sends its answers in byte order; any other source, or an
    // answer with repeats, is sorted here.
    const bool ascending = std::adjacent_find(paths_.begin(), paths_.end(), [](const PathView& a, const PathView& b) {
                               return !(a < b);
                           }) == paths_.end();
    if (ascending) return;
    sortPaths(paths_);
    paths_.erase(std::unique(paths_.begin(), paths_.end()), paths_.end());
}

void PathSet::intersectWith(const PathSet& other) {
    // The result keeps views into this set's own buffers only.
    std::vector<PathView> both;
    both.reserve(std::min(paths_.size(), other.paths_.size()));
    std::set_intersection(paths_.begin(), paths_.end(), other.paths_.begin(), other.paths_.end(),
                          std::back_inserter(both));
    paths_ = std::move(both);
}

std::vector<const PathView*> firstInPlainOrder(const PathSet& candidates, std::size_t limit) {
    const std::size_t keep = std::min(limit, candidates.size());
    std::vector<const PathView*> first;
    first.reserve(keep);

    // Byte order is code-point order, so the composed paths already stand
    // in plain order; only the few paths that are not composed need a key
    // of their own and a place among the others.
    struct Loose {
        const PathView* path;
        std::string composed;
    };
    std::vector<Loose> loose;
    for (const PathView& path : candidates) {
        if (path.loose) loose.push_back({&path, nfc(path)});
    }
    std::sort(loose.begin(), loose.end(), [](const Loose& a, const Loose& b) {
        const int c = a.composed.compare(b.composed);
        return c != 0 ? c < 0 : *a.path < *b.path;
    });

    auto next = candidates.begin();
    auto skipLoose = [&] {
        while (next != candidates.end() && next->loose) ++next;
    };
    auto nextLoose = loose.begin();
    skipLoose();
    while (first.size() < keep) {
        const bool haveComposed = next != candidates.end();
        const bool haveLoose = nextLoose != loose.end();
        bool takeComposed = haveComposed;
        if (haveComposed && haveLoose) {
            const int c = std::string_view(*next).compare(nextLoose->composed);
            takeComposed = c != 0 ? c < 0 : *next < *nextLoose->path;
        }
        if (takeComposed) {
            first.push_back(&*next);
            ++next;
            skipLoose();
        } else {
            first.push_back(nextLoose->path);
            ++nextLoose;
        }
    }
    return first;
}

}  // namespace qf
