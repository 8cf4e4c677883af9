#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "index/client/request.h"
#include "index/store/glob.h"
#include "index/store/index_store.h"

namespace qf::index {

// All searches return matching entry indices in ascending order and never
// report roots or dead entries. `threads` bounds the parallel scan.

// Names whose folded form contains `foldedNeedle`.
std::vector<uint32_t> findContaining(const IndexStore& store, std::string_view foldedNeedle, unsigned threads);
// Hands each entry findContaining would answer to `take`, on the scanning
// thread, without collecting them: calls for one `part` come from one thread
// in ascending entry order, parts run at once. Returns how many parts there
// were, never more than max(threads, 1).
size_t visitContaining(const IndexStore& store, std::string_view foldedNeedle, unsigned threads,
                       const std::function<void(size_t part, uint32_t id)>& take);
// Whole names matching the glob tokens under `mode`.
std::vector<uint32_t> findMatching(const IndexStore& store, const std::vector<GlobToken>& tokens, FoldMode mode,
                                   unsigned threads);
// Items whose content changed at or after notBefore and before `before`.
std::vector<uint32_t> findChanged(const IndexStore& store, int64_t notBefore, int64_t before, unsigned threads);

// The entries answering a name or date request (not status or best).
std::vector<uint32_t> findForRequest(const IndexStore& store, const Request& request, unsigned threads);

}  // namespace qf::index
