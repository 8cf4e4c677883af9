#pragma once
// The index service's state, as its status answer carries it: one record
// per field, "key=value", a list as one record per item. A reader ignores
// keys it does not know, and a key that was not sent stays unknown
// (nullopt, Flag::unknown), never zero or no: an older service simply
// knows fewer keys.
//
// Adding a field: a member here, one line in forEachStatusField (its key
// and member), and its line in mdfind's status text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qf::index {

// A line of the settings file that was ignored, and why. Line 0: the file itself.
struct SettingsProblem {
    int line = 0;
    std::string reason;

    bool operator==(const SettingsProblem&) const = default;
};

// A yes-or-no fact that may be unknown. Not a std::optional<bool>, whose
// own test says only whether the fact is known: `if (status.crawling)`
// must not compile.
enum class Flag : uint8_t { unknown, no, yes };
inline Flag flagOf(bool value) { return value ? Flag::yes : Flag::no; }

// Ages and durations are in seconds unless the name says otherwise.
struct ServiceStatus {
    Flag crawling = Flag::unknown;
    std::optional<uint64_t> entries;
    std::optional<uint64_t> foldersScanned;
    std::optional<uint64_t> queued;
    // Folders whose listing failed and is tried again: until they are read
    // the index lacks what they hold. The reason is sent while there are any.
    std::optional<uint64_t> unlistedFolders;
    std::optional<std::string> unlistedReason;
    // Crawling: folders are still being listed, so some names are missing.
    // Once they are all in, the times of the files listed last may still be
    // being read: `timesPending` folders of them.
    std::optional<int64_t> lastCrawlMs;  // until every name was in; sent once a crawl has ended and none runs
    std::optional<uint64_t> timesPending;
    std::optional<int64_t> lastCrawlTimesMs;  // until every time was read too; sent once they are
    std::optional<int64_t> crawlAgeSeconds;   // since the last crawl ended, or since this one began
    std::optional<uint64_t> watches;
    std::optional<uint64_t> fanotifyFileSystems;  // sent when fanotify is used
    std::optional<uint64_t> unwatched;
    Flag watchLimitReached = Flag::unknown;
    std::optional<int64_t> rescanSeconds;
    std::optional<uint64_t> compactions;
    Flag compactionWaiting = Flag::unknown;
    std::optional<int64_t> snapshotAgeSeconds;    // sent once written
    std::optional<std::string> snapshotFailure;   // why saving fails, while it does
    std::optional<int64_t> snapshotRetrySeconds;  // until the next attempt, while failing
    Flag snapshotLoaded = Flag::unknown;
    std::optional<std::string> snapshotPath;
    // The background check against the disk: one pass over every folder
    // takes `checkPeriodSeconds`; `checkFolders` checked so far in this one.
    // The last full pass is sent once one has ended.
    std::optional<int64_t> checkPeriodSeconds;
    std::optional<uint64_t> checkFolders;
    std::optional<int64_t> lastCheckAgeSeconds;  // since it ended
    std::optional<uint64_t> lastCheckRepaired;   // differences from the disk it repaired
    std::optional<uint64_t> lastCheckFolders;
    std::optional<uint64_t> checkRepaired;  // since the service started
    std::optional<uint64_t> memoryBytes;
    std::vector<std::string> roots;           // in force, with disks mounted under run/media
    std::vector<std::string> waitingRoots;    // chosen, indexed once they exist
    std::optional<std::string> settingsPath;  // empty: no settings file
    Flag rootsFixed = Flag::unknown;          // roots from the environment, not the file
    // Why the settings file cannot be used, while it cannot. Held: nothing
    // is indexed until it can; not held: the settings read before stay.
    std::optional<std::string> settingsFailure;
    Flag settingsHeld = Flag::unknown;
    // The settings in force.
    Flag settingRootsChosen = Flag::unknown;  // the file names roots (maybe none that can be used)
    std::vector<std::string> settingRoots;    // empty and not chosen: the default roots
    std::vector<std::string> excludedNames;
    std::vector<std::string> excludedPaths;
    Flag hiddenIndexed = Flag::unknown;
    Flag networkIndexed = Flag::unknown;
    std::vector<SettingsProblem> settingsProblems;
    std::optional<int64_t> pid;

    bool operator==(const ServiceStatus&) const = default;
};

// Calls visit(key, member) for every field, in the order they are sent.
// The one list of keys: encoding and reading both go through it.
template <class Status, class Visit>
void forEachStatusField(Status& s, Visit&& visit) {
    visit("crawling", s.crawling);
    visit("entries", s.entries);
    visit("folders-scanned", s.foldersScanned);
    visit("folders-queued", s.queued);
    visit("unlisted-folders", s.unlistedFolders);
    visit("unlisted-reason", s.unlistedReason);
    visit("last-crawl-ms", s.lastCrawlMs);
    visit("times-pending", s.timesPending);
    visit("last-crawl-times-ms", s.lastCrawlTimesMs);
    visit("crawl-age", s.crawlAgeSeconds);
    visit("watches", s.watches);
    visit("fanotify-file-systems", s.fanotifyFileSystems);
    visit("unwatched-folders", s.unwatched);
    visit("watch-limit-reached", s.watchLimitReached);
    visit("rescan-interval", s.rescanSeconds);
    visit("compactions", s.compactions);
    visit("compaction-waiting", s.compactionWaiting);
    visit("snapshot-age", s.snapshotAgeSeconds);
    visit("snapshot-failure", s.snapshotFailure);
    visit("snapshot-retry-in", s.snapshotRetrySeconds);
    visit("snapshot-loaded", s.snapshotLoaded);
    visit("snapshot-file", s.snapshotPath);
    visit("check-period", s.checkPeriodSeconds);
    visit("check-folders", s.checkFolders);
    visit("last-check-age", s.lastCheckAgeSeconds);
    visit("last-check-repaired", s.lastCheckRepaired);
    visit("last-check-folders", s.lastCheckFolders);
    visit("check-repaired", s.checkRepaired);
    visit("memory-bytes", s.memoryBytes);
    visit("root", s.roots);
    visit("waiting-root", s.waitingRoots);
    visit("settings-file", s.settingsPath);
    visit("roots-fixed", s.rootsFixed);
    visit("settings-failure", s.settingsFailure);
    visit("settings-held", s.settingsHeld);
    visit("setting-roots-chosen", s.settingRootsChosen);
    visit("setting-root", s.settingRoots);
    visit("setting-excluded-name", s.excludedNames);
    visit("setting-excluded-path", s.excludedPaths);
    visit("setting-hidden", s.hiddenIndexed);
    visit("setting-network", s.networkIndexed);
    visit("settings-problem", s.settingsProblems);
    visit("pid", s.pid);
}

// The status as reply records (without the end record). Booleans are "1"
// or "0", numbers decimal, a settings problem "<line> <reason>". A NUL
// cannot travel inside a record and is sent as the text \x00.
std::string encodeStatus(const ServiceStatus& status);

// Takes one field record's payload into `status`. Unknown keys, and values
// that do not parse as their field's type, leave it as it was.
void readStatusField(ServiceStatus& status, std::string_view payload);

}  // namespace qf::index
