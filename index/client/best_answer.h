#pragma once
// The answer to a best-matches request: the few names that rank highest for
// what was typed, with what a result list shows of each, as the service
// sends them and its callers read them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/expected.h"
#include "index/client/request.h"

namespace qf::index {

// How a name stands to the words typed, best first: the whole name, or the
// name without its extension, equal to them; the name starting with them;
// anything else.
enum class MatchRank : uint8_t { exact = 0, prefix = 1, other = 2 };

struct RankedEntry {
    MatchRank rank = MatchRank::other;
    bool isFolder = false;
    std::optional<int64_t> changedNs;  // content change time, nanoseconds since 1970
    std::string path;
    bool operator==(const RankedEntry&) const = default;
};

// The payload of a kTagRanked record, and back; nullopt for anything malformed.
std::string rankedPayload(const RankedEntry& entry);
std::optional<RankedEntry> parseRankedPayload(std::string_view payload);

struct BestAnswer {
    std::vector<RankedEntry> entries;  // best first
    uint64_t matches = 0;              // every name that matched, not only these
};

// Sends the best request over the connected socket `fd` and reads the whole
// answer. Fails `refused` with the service's reason, `badData` for an answer
// not in its form, and as exchange() does when the connection breaks (also
// when another thread shuts the socket down to cancel).
Expected<BestAnswer> askBest(int fd, const Request& request);

}  // namespace qf::index
