#include "search_provider/desktop_search.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <variant>

#include "core/child_process.h"
#include "core/shell.h"
#include "core/spotlight.h"
#include "core/text.h"
#include "core/tokenizer.h"
#include "model/search_plan.h"

namespace qf {

namespace {

// As many whole-name matches as the window lets the index send.
constexpr std::size_t kNameQueryCap = 50000;

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// The plan's one whole-name question, put to mdfind directly: the value is
// one argument, so no shell ever parses the typed text.
std::vector<std::string> nameQueryAnswer(const QueryPlan& plan) {
    std::string value;
    if (!plan.patternTokens.empty()) {
        const std::string& pattern = plan.patternTokens.front();
        value = pattern.find_first_of("*?") == std::string::npos ? "*" + pattern : pattern;
    } else if (plan.chosenLiteral) {
        value = "*" + *plan.chosenLiteral + "*";
    } else {
        return {};
    }
    auto child = std::make_shared<ChildProcess>(mdfindExecutable(), std::vector<std::string>{nameQueryArgument(value)},
                                                environmentWithPathFirst(mdfindFolder()));
    // Listed while it runs, so that a newer search can stop it.
    auto& runner = QueryRunner::shared();
    runner.registerProcess(child);
    std::string output;
    if (!child->start()) {
        output = child->readAll();
        child->wait();
    }
    runner.unregisterProcess(child);
    if (!isValidUtf8(output)) return {};
    std::vector<std::string> lines = splitLines(output);
    if (lines.size() > kNameQueryCap) lines.resize(kNameQueryCap);
    return lines;
}

// Names are mostly ASCII, whose composed lower case needs no Unicode tables;
// a broad query ranks tens of thousands of them.
std::string foldedName(const std::string& name) {
    if (!std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return lowerCase(nfc(name));
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

struct Candidate {
    std::string path;
    NameRank rank;
    Date modified = 0;
};

std::vector<Candidate> rankedCandidates(const SearchPlan& plan, const std::string& typed) {
    std::vector<Candidate> kept;
    const auto consider = [&](const std::string& path) {
        const std::string name = lastPathComponent(path);
        if (!acceptsName(plan, name, false)) return;
        kept.push_back({path, typed.empty() ? NameRank::other : rankName(foldedName(name), typed)});
    };
    if (!plan.indexTerms.empty()) {
        for (const auto& path : mdfindIntersection(plan.indexTerms)) consider(path);
    } else {
        for (const auto& path : nameQueryAnswer(plan)) consider(path);
    }
    return kept;
}

}  // namespace

std::optional<std::string> queryFromTerms(const std::vector<std::string>& terms) {
    std::string query;
    for (const auto& term : terms) {
        if (!isValidUtf8(term)) return std::nullopt;
        if (std::any_of(term.begin(), term.end(), [](char c) { return isControl(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        if (!query.empty()) query += ' ';
        query += term;
        if (query.size() > kMaxQueryBytes) return std::nullopt;
    }
    if (query.empty()) return std::nullopt;
    return query;
}

NameRank rankName(std::string_view name, std::string_view typed) {
    if (name == typed) return NameRank::exact;
    const auto dot = name.rfind('.');
    // A leading dot marks a hidden file, not an extension.
    if (dot != std::string_view::npos && dot > 0 && name.substr(0, dot) == typed) return NameRank::exact;
    return name.starts_with(typed) ? NameRank::prefix : NameRank::other;
}

std::vector<RankedHit> findBestHits(std::string_view query, std::size_t limit) {
    std::vector<std::string> tokens = strTokenize(query);
    if (tokens.empty() || limit == 0) return {};
    const PlanOutcome outcome = planSearch(tokens, false, false);
    const SearchPlan* plan = std::get_if<SearchPlan>(&outcome);
    if (!plan) return {};

    std::string typed;
    for (const auto& token : tokens) {
        if (isPatternToken(token)) continue;
        if (!typed.empty()) typed += ' ';
        typed += pathTailToken(token);
    }
    typed = lowerCase(nfc(typed));

    std::vector<Candidate> candidates = rankedCandidates(*plan, typed);
    // Only the ranks that can still reach the answer need their dates read:
    // with enough exact names, the prefixes and the rest are never examined.
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.rank < b.rank; });
    std::size_t examined = std::min(limit, candidates.size());
    if (examined > 0) {
        const NameRank last = candidates[examined - 1].rank;
        while (examined < candidates.size() && candidates[examined].rank == last) ++examined;
    }
    candidates.resize(examined);
    for (auto& candidate : candidates) candidate.modified = lstatInfo(candidate.path).mtime.value_or(0);

    const std::size_t kept = std::min(limit, candidates.size());
    std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(kept), candidates.end(),
                      [](const Candidate& a, const Candidate& b) {
                          if (a.rank != b.rank) return a.rank < b.rank;
                          if (a.modified != b.modified) return a.modified > b.modified;
                          return a.path < b.path;
                      });
    std::vector<RankedHit> hits;
    hits.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) hits.push_back({hitForPath(candidates[i].path), candidates[i].rank});
    return hits;
}

}  // namespace qf
