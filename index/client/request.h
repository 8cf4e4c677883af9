#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "index/client/fold_mode.h"

namespace qf::index {

// One question to the index service.
struct Request {
    enum class Op { nameContains, nameGlob, changedBetween, status, best, verify };
    Op op = Op::status;
    // NameContains: the term as typed. NameGlob: the pattern in the textual
    // form of globTokensToText.
    std::string value;
    FoldMode mode;
    // ChangedBetween: content change time t with notBefore <= t < before
    // (seconds since 1970).
    int64_t notBefore = std::numeric_limits<int64_t>::min();
    int64_t before = std::numeric_limits<int64_t>::max();
    // Absolute folders; when not empty only items below one of them answer
    // (verify: only these folders are compared with the disk).
    std::vector<std::string> onlyIn;
    bool countOnly = false;
    // Best: the `limit` best names holding every term and matching every
    // pattern (globTokensToText form), case and diacritics ignored, ranked
    // by how they stand to `value`, the words as typed (see MatchRank).
    std::vector<std::string> terms;
    std::vector<std::string> patterns;
    uint32_t limit = 0;

    bool operator==(const Request&) const = default;
};

}  // namespace qf::index
