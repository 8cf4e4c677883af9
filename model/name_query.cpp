#include "model/name_query.h"

#include <algorithm>
#include <thread>

#include "core/debug_log.h"
#include "core/matcher.h"
#include "core/shell.h"
#include "core/text.h"
#include "model/run_limits.h"

namespace qf {

namespace {

PathSet indexTermCandidates(const SearchPlan& plan, const RunShared& shared) {
    PathSet candidates = mdfindIntersection(plan.indexTerms);
    for (int attempt = 1; attempt <= kIndexTermRetries; ++attempt) {
        if (!candidates.empty() || !shared.isCurrent(plan.serial)) break;
        dbg("retry#" + std::to_string(plan.serial) + " attempt=" + std::to_string(attempt));
        std::this_thread::sleep_for(kRetryPause);
        candidates = mdfindIntersection(plan.indexTerms);
    }
    return candidates;
}

bool containsAll(std::string_view name, const std::vector<std::string>& terms) {
    return std::all_of(terms.begin(), terms.end(),
                       [&](const std::string& term) { return containsCanonical(name, term); });
}

void appendQuoted(std::string& out, const std::string& term) {
    out += '"';
    for (char c : term) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

PathSet gatherCandidates(const SearchPlan& plan, const RunShared& shared) {
    if (!plan.indexTerms.empty()) return indexTermCandidates(plan, shared);
    const auto command = nameQueryCommand(plan);
    if (!command) return {};
    return PathSet(runShellAnswer(*command));
}

bool namePasses(const SearchPlan& plan, std::string_view name, bool caseSensitiveNow) {
    if (plan.expression) return plan.expression->matches(name);
    if (!acceptsName(plan, name, caseSensitiveNow)) return false;
    if (plan.caseSensitiveCheck && !containsAll(name, plan.indexTerms)) return false;
    return true;
}

std::string queryLogLine(std::int64_t serial, std::int64_t candidates, std::size_t hits,
                         const std::vector<std::string>& indexTerms) {
    std::string line = "query#" + std::to_string(serial) + " inter=" + std::to_string(candidates) +
                       " arr=" + std::to_string(hits) + " lits=[";
    for (std::size_t i = 0; i < indexTerms.size(); ++i) {
        if (i > 0) line += ", ";
        appendQuoted(line, indexTerms[i]);
    }
    line += ']';
    return line;
}

std::optional<NameQueryResult> runNameQuery(const SearchPlan& plan, const RunShared& shared) {
    const PathSet candidates = gatherCandidates(plan, shared);
    if (!shared.isCurrent(plan.serial)) return std::nullopt;

    NameQueryResult result;
    result.candidates = static_cast<std::int64_t>(candidates.size());
    for (const PathView* path : firstInPlainOrder(candidates, kCandidatesExamined)) {
        if (result.hits.size() >= kHitCap) break;
        if (!namePasses(plan, lastPathComponent(*path), shared.caseSensitive.load())) continue;
        result.hits.push_back(hitForPath(*path));
    }
    dbg(queryLogLine(plan.serial, result.candidates, result.hits.size(), plan.indexTerms));
    return result;
}

}  // namespace qf
