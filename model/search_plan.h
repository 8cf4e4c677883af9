#pragma once
// What a name-query run hands to its worker, fixed when the run starts.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/matcher.h"
#include "core/query_plan.h"

namespace qf {

// The query plan of dump mode, plus what only the window's runs carry. In
// expression mode the index terms are the runs a matching name must contain.
struct SearchPlan : QueryPlan {
    std::int64_t serial = 0;
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
