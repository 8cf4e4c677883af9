#pragma once
// The background half of the run for an empty query: the items changed since
// the start of the previous day.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/hit.h"
#include "model/run_shared.h"

namespace qf {

struct RecentFilesResult {
    std::int64_t paths = 0;  // lines the index printed, before the cap
    std::vector<Hit> hits;
};

// Nothing when the Model is gone or run `serial` is no longer current.
std::optional<RecentFilesResult> runRecentFiles(std::int64_t serial, const RunShared& shared);

}  // namespace qf
