#include "model/recent_files.h"

#include <thread>

#include "core/debug_log.h"
#include "core/spotlight.h"
#include "model/run_limits.h"

namespace qf {

std::optional<RecentFilesResult> runRecentFiles(std::int64_t serial, const RunShared& shared) {
    std::vector<std::string> paths = recentPaths();
    if (paths.empty()) {
        // The index often answers nothing right after it starts; one more try
        // shows the list without the user having to type.
        std::this_thread::sleep_for(kRetryPause);
        paths = recentPaths();
        dbg("first-retry paths=" + std::to_string(paths.size()));
    }
    if (!shared.alive.load() || !shared.isCurrent(serial)) return std::nullopt;

    RecentFilesResult result;
    result.paths = static_cast<std::int64_t>(paths.size());
    for (const auto& path : paths) {
        if (result.hits.size() >= kHitCap) break;
        if (!shared.alive.load()) return std::nullopt;
        result.hits.push_back(hitForPath(path));
    }
    return result;
}

}  // namespace qf
