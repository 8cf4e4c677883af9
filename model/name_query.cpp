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

PathSet linesAsSet(std::vector<std::string> lines) {
    return PathSet(std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
}

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
    return linesAsSet(runShell(*command));
}

std::vector<const std::string*> firstInPlainOrder(const PathSet& candidates, std::size_t limit) {
    const std::size_t keep = std::min(limit, candidates.size());
    std::vector<const std::string*> first;
    first.reserve(keep);
    // UTF-8 byte order is code-point order, and the set already holds the
    // paths in byte order: only paths that are not in composed form can sit
    // elsewhere in the plain order. Usually there are none, and the first
    // paths of the set are the answer.
    if (std::all_of(candidates.begin(), candidates.end(), [](const std::string& p) { return isNfc(p); })) {
        for (auto it = candidates.begin(); first.size() < keep; ++it) first.push_back(&*it);
        return first;
    }

    struct Entry {
        const std::string* path;
        std::string composed;  // only for paths not already composed
        std::string_view key() const { return composed.empty() ? std::string_view(*path) : std::string_view(composed); }
    };
    std::vector<Entry> entries;
    entries.reserve(candidates.size());
    for (const auto& path : candidates) entries.push_back({&path, isNfc(path) ? std::string() : nfc(path)});
    // Equal composed forms keep their byte order, so the result is stable.
    const auto less = [](const Entry& a, const Entry& b) {
        const int c = a.key().compare(b.key());
        return c != 0 ? c < 0 : *a.path < *b.path;
    };
    std::partial_sort(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(keep), entries.end(), less);
    for (std::size_t i = 0; i < keep; ++i) first.push_back(entries[i].path);
    return first;
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
    for (const std::string* path : firstInPlainOrder(candidates, kCandidatesExamined)) {
        if (result.hits.size() >= kHitCap) break;
        if (!namePasses(plan, lastPathComponent(*path), shared.caseSensitive.load())) continue;
        result.hits.push_back(hitForPath(*path));
    }
    dbg(queryLogLine(plan.serial, result.candidates, result.hits.size(), plan.indexTerms));
    return result;
}

}  // namespace qf
