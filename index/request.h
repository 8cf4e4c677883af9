#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fold.h"

namespace qf::index {

// One question to the index service, as mdfind sends it.
struct Request {
    enum class Op { nameContains, nameGlob, changedBetween, status };
    Op op = Op::status;
    // NameContains: the term as typed. NameGlob: the pattern in the textual
    // form of globTokensToText.
    std::string value;
    FoldMode mode;
    // ChangedBetween: content change time t with notBefore <= t < before
    // (seconds since 1970).
    int64_t notBefore = std::numeric_limits<int64_t>::min();
    int64_t before = std::numeric_limits<int64_t>::max();
    // Absolute folders; when not empty only items below one of them answer.
    std::vector<std::string> onlyIn;
    bool countOnly = false;

    bool operator==(const Request&) const = default;
};

}  // namespace qf::index
