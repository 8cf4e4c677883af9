#pragma once
// What a name-query run hands to its worker, fixed when the run starts.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/matcher.h"

namespace qf {

struct SearchPlan {
    std::int64_t serial = 0;
    // Sent to the by-name search and intersected; in expression mode the
    // letter and digit runs of the expression.
    std::vector<std::string> indexTerms;
    // Lower-cased wildcard and suffix tokens; each must match the name.
    std::vector<std::string> patternTokens;
    // The one short word given to the substring name query when nothing
    // else can go to the index.
    std::optional<std::string> chosenLiteral;
    // Words every name must contain, tested here rather than by the index.
    std::vector<std::string> literalFilter;
    std::optional<Regex> expression;
    // Case-sensitive mode outside expression mode: the index ignores case,
    // so every index term is tested again in the name as written.
    bool caseSensitiveCheck = false;
};

// Why planning ended the run before any worker was needed.
enum class PlanStop {
    expressionInvalid,  // the expression does not compile
    expressionUnusable  // the expression has no letter or digit run to look up
};

using PlanOutcome = std::variant<SearchPlan, PlanStop>;

// Plans a run from the tokens of the trimmed query. Outside expression mode
// each token is first reduced to its last path segment.
PlanOutcome planSearch(std::vector<std::string> tokens, bool regexMode, bool caseSensitive);

}  // namespace qf
