#pragma once
// How dump mode turns the tokens of its query into one index question and
// the local tests that every answer must pass.
#include <optional>
#include <string>
#include <vector>

namespace qf {

struct DumpPlan {
    // Lower-cased wildcard and suffix tokens, in query order.
    std::vector<std::string> patternTokens;
    // Sent to the by-name search and intersected; never tested again.
    std::vector<std::string> indexTerms;
    // Searched as a substring by the index when nothing else can be asked.
    std::optional<std::string> chosenLiteral;
    // Words every name must contain, case ignored.
    std::vector<std::string> literalFilter;
};

// tokens have already been reduced to their last path segment.
DumpPlan planDump(const std::vector<std::string>& tokens);
// The shell command that asks the index for a plan without index terms;
// nothing when no question can be asked.
std::optional<std::string> dumpShellQuery(const DumpPlan& plan);
// True when name passes every pattern token and the literal filter.
bool dumpAccepts(const DumpPlan& plan, const std::string& name);

}  // namespace qf
