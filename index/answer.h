#pragma once
#include <functional>
#include <string>

#include "index_state.h"
#include "request.h"

namespace qf::index {

// Streams the answer to a name or date request as reply records; `send`
// returns false when the client went away. The end record is not included:
// false with `error` set when the answer is not whole. Takes `state.mutex`
// shared, slice by slice, and holds the entry indices (no compaction) until
// it returns.
bool streamAnswer(IndexState& state, const Request& request, unsigned threads,
                  const std::function<bool(const std::string&)>& send, std::string* error);

}  // namespace qf::index
