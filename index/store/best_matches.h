#pragma once
// The few names that rank highest for what a person typed, picked inside the
// index: every match is ranked where it lies, and only the best few are kept,
// so a word in a hundred thousand names costs a scan, not a sort.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/client/best_answer.h"
#include "index/store/glob.h"
#include "index/store/index_store.h"

namespace qf::index {

struct BestQuery {
    // Folded words every name must hold, and whole-name patterns (folded
    // under FoldMode{true, true}) every name must match.
    std::vector<std::string> terms;
    std::vector<GlobPattern> patterns;
    // The folded words as typed, which rank the names; empty ranks all alike.
    std::string typed;
    size_t limit = 0;
};

struct BestMatch {
    uint32_t id;
    MatchRank rank;
};

struct BestMatches {
    std::vector<BestMatch> best;  // best first
    size_t matches = 0;           // every name that matched
};

// How a folded name stands to the folded words typed. A leading dot marks a
// hidden name, not an extension.
MatchRank rankName(std::string_view name, std::string_view typed);

// The best `query.limit` matches (none when no term has a character and no
// pattern is given): by rank, then the most recently changed
// first (names without a time last), then by name and by path, so that the
// answer is the same whatever the threads and the order of the index.
BestMatches findBest(const IndexStore& store, const BestQuery& query, unsigned threads);

}  // namespace qf::index
