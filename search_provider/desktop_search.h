#pragma once
// The desktop's search boxes ask with a handful of words and show a handful
// of results: the window's query language and planning, a small ranked
// answer, and nothing that a shell ever sees.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/hit.h"

namespace qf {

// Longer queries are not typed by a person; they are refused whole.
inline constexpr std::size_t kMaxQueryBytes = 1024;
inline constexpr std::size_t kDesktopResultLimit = 20;

// The terms a desktop shell sent, joined into one query; nothing when the
// list is empty, too long, or carries control characters or text that is not
// UTF-8.
std::optional<std::string> queryFromTerms(const std::vector<std::string>& terms);

enum class NameRank { exact, prefix, other };

// How a name stands to the typed words (already lower-cased and composed):
// the whole name, or the name without its extension, equal to them; the name
// starting with them; anything else.
NameRank rankName(std::string_view name, std::string_view typed);

struct RankedHit {
    Hit hit;
    NameRank rank;
};

// At most `limit` hits for the query: exact names first, then name
// prefixes, then the rest; within each, the most recently modified first.
std::vector<RankedHit> findBestHits(std::string_view query, std::size_t limit = kDesktopResultLimit);

}  // namespace qf
