#pragma once
#include <functional>
#include <string>

#include "base/expected.h"
#include "index/client/request.h"
#include "index/service/index_state.h"

namespace qf::index {

// Streams the answer to a name or date request as reply records; `send`
// returns false when the client went away. The end record is not included:
// an answer that is not whole fails, saying why. Takes `state.mutex`
// shared, slice by slice, and holds the entry indices (no compaction) until
// it returns.
Expected<void> streamAnswer(IndexState& state, const Request& request, unsigned threads,
                            const std::function<bool(const std::string&)>& send);

// Sends the answer to a best request: the count of all matches, then the
// best few ranked, in one piece. A request that cannot be answered (no word
// or pattern, a limit out of range) fails as invalid input, saying why.
Expected<void> sendBest(IndexState& state, const Request& request, unsigned threads,
                        const std::function<bool(const std::string&)>& send);

}  // namespace qf::index
