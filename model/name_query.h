#pragma once
// The background half of a name-query run: ask the index, filter the
// candidates by name, turn the survivors into hits.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/hit.h"
#include "core/spotlight.h"
#include "model/run_shared.h"
#include "model/search_plan.h"

namespace qf {

struct NameQueryResult {
    std::int64_t candidates = 0;  // size of the candidate set, before any cut
    std::vector<Hit> hits;
};

// Runs the whole worker; nothing when the run went stale on the way.
std::optional<NameQueryResult> runNameQuery(const SearchPlan& plan, const RunShared& shared);

// The candidate set of the plan, with the retries of empty index answers.
PathSet gatherCandidates(const SearchPlan& plan, const RunShared& shared);

// Whether a name passes the local tests of the plan. caseSensitiveNow is the
// case switch as read at the time of the test.
bool namePasses(const SearchPlan& plan, std::string_view name, bool caseSensitiveNow);

// The "query#" log line.
std::string queryLogLine(std::int64_t serial, std::int64_t candidates, std::size_t hits,
                         const std::vector<std::string>& indexTerms);

}  // namespace qf
