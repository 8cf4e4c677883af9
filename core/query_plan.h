#pragma once
// How the tokens of a query become one question for the index and the local
// tests every answer must pass. Dump mode and the window's search runs plan
// their name queries with the same rule.
#include <optional>
#include <string>
#include <vector>

namespace qf {

struct QueryPlan {
    // Lower-cased wildcard and suffix tokens, in query order.
    std::vector<std::string> patternTokens;
    // Sent to the by-name search and intersected; trusted, not tested again.
    std::vector<std::string> indexTerms;
    // Searched as a substring by the index when nothing else can be asked.
    std::optional<std::string> chosenLiteral;
    // Words every name must contain.
    std::vector<std::string> literalFilter;
};

// tokens have already been reduced to their last path segment.
QueryPlan planQuery(const std::vector<std::string>& tokens);
// The shell command that asks the index for a plan without index terms;
// nothing when no question can be asked.
std::optional<std::string> nameQueryCommand(const QueryPlan& plan);
// True when name passes every pattern token and contains every filter word
// (case ignored unless caseSensitive).
bool acceptsName(const QueryPlan& plan, std::string_view name, bool caseSensitive);

}  // namespace qf
