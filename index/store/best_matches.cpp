#include "index/store/best_matches.h"

#include <algorithm>

#include "index/store/search.h"

namespace qf::index {

namespace {

struct Candidate {
    uint32_t id;
    MatchRank rank;
    int64_t changed;
};

// The answer's order. Most candidates lose on rank or time to the worst one
// kept; names and paths are read only for ties.
class Better {
public:
    explicit Better(const IndexStore& store) : store_(store) {}
    bool operator()(const Candidate& a, const Candidate& b) const {
        if (a.rank != b.rank) return a.rank < b.rank;
        // kNoTime is the smallest value: names without a time come last.
        if (a.changed != b.changed) return a.changed > b.changed;
        const std::string_view nameA = store_.rawName(a.id), nameB = store_.rawName(b.id);
        if (nameA != nameB) return nameA < nameB;
        const std::string pathA = store_.path(a.id), pathB = store_.path(b.id);
        if (pathA != pathB) return pathA < pathB;
        return a.id < b.id;
    }

private:
    const IndexStore& store_;
};

// The longest text every match holds, for the scan to look for; `term` is
// its index among the terms when it is one, since those need no second test.
struct Needle {
    std::string_view text;
    size_t term = SIZE_MAX;
};

Needle chooseNeedle(const BestQuery& query) {
    Needle needle;
    for (size_t i = 0; i < query.terms.size(); ++i)
        if (query.terms[i].size() > needle.text.size()) needle = {query.terms[i], i};
    for (const GlobPattern& pattern : query.patterns)
        if (pattern.longestLiteral().size() > needle.text.size()) needle = {pattern.longestLiteral(), SIZE_MAX};
    return needle;
}

}  // namespace

MatchRank rankName(std::string_view name, std::string_view typed) {
    if (typed.empty()) return MatchRank::other;
    if (name == typed) return MatchRank::exact;
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && name.substr(0, dot) == typed) return MatchRank::exact;
    return name.starts_with(typed) ? MatchRank::prefix : MatchRank::other;
}

BestMatches findBest(const IndexStore& store, const BestQuery& query, unsigned threads) {
    BestMatches out;
    // A word that folds to nothing (a lone combining mark) is in every name:
    // with no other word or pattern, nothing was asked for.
    const bool asked = !query.patterns.empty() ||
                       std::any_of(query.terms.begin(), query.terms.end(), [](const auto& t) { return !t.empty(); });
    if (query.limit == 0 || !asked) return out;
    const Needle needle = chooseNeedle(query);
    const Better better(store);
    // Each part of the scan keeps its own best few, judged while the name is
    // still in the cache: a heap with the worst of them on top, so that most
    // candidates are turned away after one comparison.
    struct Part {
        std::vector<Candidate> kept;
        size_t matches = 0;
    };
    std::vector<Part> parts(std::max(1u, threads));
    const size_t used = visitContaining(store, needle.text, threads, [&](size_t index, uint32_t id) {
        const std::string_view name = store.foldedName(id);
        for (size_t i = 0; i < query.terms.size(); ++i)
            if (i != needle.term && name.find(query.terms[i]) == std::string_view::npos) return;
        for (const GlobPattern& pattern : query.patterns)
            if (!pattern.matches(name)) return;
        Part& part = parts[index];
        ++part.matches;
        const Candidate candidate{id, rankName(name, query.typed), store.at(id).times.seconds()};
        if (part.kept.size() < query.limit) {
            part.kept.push_back(candidate);
            std::push_heap(part.kept.begin(), part.kept.end(), better);
        } else if (better(candidate, part.kept.front())) {
            std::pop_heap(part.kept.begin(), part.kept.end(), better);
            part.kept.back() = candidate;
            std::push_heap(part.kept.begin(), part.kept.end(), better);
        }
    });
    std::vector<Candidate> all;
    for (size_t i = 0; i < used; ++i) {
        out.matches += parts[i].matches;
        all.insert(all.end(), parts[i].kept.begin(), parts[i].kept.end());
    }
    const size_t kept = std::min(query.limit, all.size());
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(kept), all.end(), better);
    out.best.reserve(kept);
    for (size_t i = 0; i < kept; ++i) out.best.push_back({all[i].id, all[i].rank});
    return out;
}

}  // namespace qf::index
