#pragma once
// The desktop's search boxes ask with a handful of words and show a handful
// of results: the window's query language put to the index service as one
// best-matches request, ranked and dated by the service itself.
#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/expected.h"
#include "core/hit.h"
#include "index/client/best_answer.h"
#include "index/client/request.h"

namespace qf {

// Longer queries are not typed by a person; they are refused whole.
inline constexpr std::size_t kMaxQueryBytes = 1024;
inline constexpr std::size_t kDesktopResultLimit = 20;

// The terms a desktop shell sent, joined into one query; nothing when the
// list is empty, too long, or carries control characters or text that is not
// UTF-8.
std::optional<std::string> queryFromTerms(const std::vector<std::string>& terms);

// The request for the best `limit` names for a query, read as the window
// reads it: words must all occur in the name ("a phrase" is one word, a
// word with "/" counts by its last part, a lone ASCII character narrows
// nothing), `*` and `?` words and `.ext` words match the whole name.
// Nothing when no word or pattern is left.
std::optional<index::Request> bestRequestFor(std::string_view query, std::size_t limit = kDesktopResultLimit);

struct RankedHit {
    Hit hit;
    index::MatchRank rank{};
};

// Asks the index service (started when none runs) for the request's best
// names. A stop request ends the wait for the answer at once.
using BestSearch = std::function<Expected<std::vector<RankedHit>>(const index::Request&, const std::stop_token&)>;
Expected<std::vector<RankedHit>> searchIndex(const index::Request& request, const std::stop_token& stop);

}  // namespace qf
