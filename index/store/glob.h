#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "index/client/fold_mode.h"
#include "index/client/glob_token.h"

namespace qf::index {

// A whole-name pattern: "*" any run of characters, "?" exactly one
// user-perceived character, literals compared after folding under `mode`.
class GlobPattern {
public:
    GlobPattern() = default;
    GlobPattern(const std::vector<GlobToken>& tokens, FoldMode mode);

    // `name` must already be folded under the pattern's mode.
    bool matches(std::string_view name) const;
    // The longest literal run: every matching name contains it.
    const std::string& longestLiteral() const { return longest_; }
    FoldMode mode() const { return mode_; }

private:
    std::vector<GlobToken> tokens_;
    std::string longest_;
    FoldMode mode_;
    bool usesAnyChar_ = false;
};

// Byte offsets of the user-perceived character boundaries of a UTF-8 text,
// from 0 to text.size() inclusive.
std::vector<size_t> characterBoundaries(std::string_view text);

}  // namespace qf::index
