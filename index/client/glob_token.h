#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qf::index {

// One piece of a whole-name pattern, as mdfind parses it and the service
// matches it.
struct GlobToken {
    enum class Kind { literal, anyChar, anyRun };
    Kind kind = Kind::literal;
    std::string text;  // literal only
    bool operator==(const GlobToken&) const = default;
};

// The textual form of a token list: "*" and "?" are wildcards, a backslash
// makes the next byte literal. Used between mdfind and the service.
std::string globTokensToText(const std::vector<GlobToken>& tokens);
std::vector<GlobToken> globTokensFromText(std::string_view text);

}  // namespace qf::index
