#include "search_provider/desktop_search.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>

#include "base/index_service.h"
#include "base/path_names.h"
#include "base/utf8.h"
#include "core/text.h"
#include "core/tokenizer.h"
#include "index/client/glob_token.h"
#include "protocol/helper_programs.h"

namespace qf {

namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// A wildcard word as the service reads patterns; a suffix word (.pdf) is
// the pattern of names ending in it.
std::string patternText(std::string_view word) {
    std::vector<index::GlobToken> tokens;
    if (word.find_first_of("*?") == std::string_view::npos) tokens.push_back({index::GlobToken::Kind::anyRun, {}});
    for (const char c : word) {
        if (c == '*') {
            tokens.push_back({index::GlobToken::Kind::anyRun, {}});
        } else if (c == '?') {
            tokens.push_back({index::GlobToken::Kind::anyChar, {}});
        } else {
            if (tokens.empty() || tokens.back().kind != index::GlobToken::Kind::literal)
                tokens.push_back({index::GlobToken::Kind::literal, {}});
            tokens.back().text += c;
        }
    }
    return index::globTokensToText(tokens);
}

// How long a search waits for an index service that is starting: it loads
// its snapshot first, which takes a moment on a large index.
constexpr std::chrono::seconds kServicePatience{10};

Hit hitFor(index::RankedEntry&& entry) {
    std::optional<Date> changed;
    if (entry.changedNs) changed = static_cast<Date>(*entry.changedNs) / 1e9;
    std::string name = lastPathComponent(entry.path);
    // The size and kind are never shown by a desktop's search; reading them
    // would cost a file-system call per result.
    return Hit(std::move(entry.path), std::move(name), entry.isFolder, -1, changed, std::nullopt, {});
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

std::optional<index::Request> bestRequestFor(std::string_view query, std::size_t limit) {
    index::Request request;
    request.op = index::Request::Op::best;
    request.limit = static_cast<uint32_t>(limit);
    for (const std::string& token : strTokenize(query)) {
        const std::string word = pathTailToken(token);
        if (isPatternToken(word)) {
            request.patterns.push_back(patternText(word));
            continue;
        }
        // Every plain word ranks the names, as typed, words joined by one
        // space; a lone ASCII character, which the window ignores, matches
        // nearly everything and narrows nothing.
        if (!request.value.empty()) request.value += ' ';
        request.value += word;
        if (!(allAscii(word) && charCount(word) < 2)) request.terms.push_back(word);
    }
    if (request.terms.empty() && request.patterns.empty()) return std::nullopt;
    return request;
}

Expected<std::vector<RankedHit>> searchIndex(const index::Request& request, const std::stop_token& stop) {
    const std::string service = findIndexServiceExecutable(protocol::runningProgramFolder());
    auto connection = connectOrStartIndexService(service, kServicePatience);
    if (!connection) return std::move(connection).error();
    // Cancelling ends the exchange: a socket shut down makes its read return.
    const int fd = connection->get();
    const std::stop_callback cancel(stop, [fd] { ::shutdown(fd, SHUT_RDWR); });
    auto answer = index::askBest(fd, request);
    if (!answer) return std::move(answer).error();
    std::vector<RankedHit> hits;
    hits.reserve(answer->entries.size());
    for (auto& entry : answer->entries) {
        const index::MatchRank rank = entry.rank;
        hits.push_back({hitFor(std::move(entry)), rank});
    }
    return hits;
}

}  // namespace qf
