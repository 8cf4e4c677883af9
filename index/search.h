#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "glob.h"
#include "index_store.h"
#include "request.h"

namespace qf::index {

// All searches return matching entry indices in ascending order and never
// report roots or dead entries. `threads` bounds the parallel scan.

// Names whose folded form contains `foldedNeedle`.
std::vector<uint32_t> findContaining(const IndexStore& store, std::string_view foldedNeedle, unsigned threads);
// Whole names matching the glob tokens under `mode`.
std::vector<uint32_t> findMatching(const IndexStore& store, const std::vector<GlobToken>& tokens, FoldMode mode,
                                   unsigned threads);
// Items whose content changed at or after notBefore and before `before`.
std::vector<uint32_t> findChanged(const IndexStore& store, int64_t notBefore, int64_t before, unsigned threads);

// The entries answering a name or date request (not Status).
std::vector<uint32_t> findForRequest(const IndexStore& store, const Request& request, unsigned threads);

// True when `path` is `folder` or lies below it.
bool isSameOrInside(std::string_view path, std::string_view folder);

}  // namespace qf::index
