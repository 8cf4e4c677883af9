#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "index_settings.h"

namespace qf::index {

// The service's state as `mdfind --status` shows it. Ages are in seconds.
struct ServiceStatus {
    bool crawling = false;
    size_t entries = 0;
    uint64_t foldersScanned = 0;
    size_t queued = 0;
    std::optional<int64_t> lastCrawlMs;  // set when a crawl has ended and none runs
    int64_t crawlAgeSeconds = 0;         // since the last crawl ended, or since this one began
    size_t watches = 0;
    std::optional<size_t> fanotifyFileSystems;  // set when fanotify is used
    size_t unwatched = 0;
    bool watchLimitReached = false;
    int rescanSeconds = 0;
    uint64_t compactions = 0;
    bool compactionWaiting = false;
    std::optional<int64_t> snapshotAgeSeconds;   // set once written
    std::optional<std::string> snapshotFailure;  // why saving fails, while it does
    int64_t snapshotRetrySeconds = 0;            // until the next attempt, while failing
    bool snapshotLoaded = false;
    std::string snapshotPath;
    size_t memoryBytes = 0;
    std::vector<std::string> roots;  // in force, with disks mounted under run/media
    std::string settingsPath;        // empty: no settings file
    bool rootsFixed = false;         // roots from the environment, not the file
    IndexSettings settings;          // in force
    std::vector<SettingsProblem> settingsProblems;
    pid_t pid = 0;
};

// The status text. Its lines "state: idle|crawling" and "entries: N" are
// read by the window and keep their form.
std::string formatStatus(const ServiceStatus& status);

}  // namespace qf::index
