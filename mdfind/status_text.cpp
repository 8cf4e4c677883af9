#include "mdfind/status_text.h"

#include "index/client/printable.h"

namespace qf::index {
namespace {

constexpr const char* kUnknown = "unknown";

template <class Number>
std::string number(const std::optional<Number>& v) {
    return v ? std::to_string(*v) : kUnknown;
}

std::string yesNo(Flag v) { return v == Flag::unknown ? kUnknown : v == Flag::yes ? "yes" : "no"; }

// Paths and reasons come from the file system and the settings file: their
// control characters must not reach the terminal.
std::string shown(const std::optional<std::string>& v) { return v ? escapeControls(*v) : kUnknown; }

std::string quotedIfSpaced(const std::string& word) {
    return word.find_first_of(" \t") == std::string::npos ? word : "\"" + word + "\"";
}

std::string formatSettings(const ServiceStatus& st) {
    std::string s;
    s += "settings file: " + (st.settingsPath && st.settingsPath->empty() ? "none" : shown(st.settingsPath)) + "\n";
    if (st.settingsFailure)
        s += "settings error: " + escapeControls(*st.settingsFailure) +
             (st.settingsHeld == Flag::yes ? "; nothing is indexed until it can be used\n"
                                           : "; the settings read before stay in force\n");
    if (st.rootsFixed == Flag::yes) {
        s += "setting roots: from QUILLFIND_INDEX_ROOTS\n";
    } else if (st.settingRoots.empty() && st.settingRootsChosen == Flag::yes) {
        s += "setting roots: none that can be used\n";
    } else if (st.settingRoots.empty()) {
        s += "setting roots: default (every local disk)\n";
    } else {
        std::string joined;
        for (const std::string& r : st.settingRoots) joined += (joined.empty() ? "" : ":") + r;
        s += "setting roots: " + escapeControls(joined) + "\n";
    }
    std::string excluded;
    for (const std::string& w : st.excludedNames) excluded += " " + quotedIfSpaced(w);
    for (const std::string& w : st.excludedPaths) excluded += " " + quotedIfSpaced(w);
    s += "setting exclude:" + (excluded.empty() ? std::string(" nothing") : escapeControls(excluded)) + "\n";
    s += "setting hidden: " + yesNo(st.hiddenIndexed) + "\n";
    s += "setting network: " + yesNo(st.networkIndexed) + "\n";
    for (const SettingsProblem& p : st.settingsProblems)
        s += "settings error: " + (p.line > 0 ? "line " + std::to_string(p.line) + ": " : std::string()) +
             escapeControls(p.reason) + "\n";
    return s;
}

std::string formatSnapshot(const ServiceStatus& st) {
    if (st.snapshotFailure)
        return "snapshot: not written (" + escapeControls(*st.snapshotFailure) + "); next attempt in " +
               number(st.snapshotRetrySeconds) + " s\n";
    if (st.snapshotAgeSeconds) return "snapshot: written " + number(st.snapshotAgeSeconds) + " s ago\n";
    if (st.snapshotLoaded == Flag::unknown) return std::string("snapshot: ") + kUnknown + "\n";
    return std::string("snapshot: ") + (st.snapshotLoaded == Flag::yes ? "loaded at start" : "none yet") + "\n";
}

// The background check: when its last full pass ended and what it repaired.
std::string formatCheck(const ServiceStatus& st) {
    if (!st.checkPeriodSeconds) return std::string("last check: ") + kUnknown + "\n";
    const std::string rest = "; " + number(st.checkRepaired) + " repaired since the service started (a pass takes " +
                             number(st.checkPeriodSeconds) + " s)\n";
    if (st.lastCheckAgeSeconds)
        return "last check: ended " + number(st.lastCheckAgeSeconds) + " s ago, " + number(st.lastCheckRepaired) +
               " differences repaired in " + number(st.lastCheckFolders) + " folders" + rest;
    return "last check: never (" + number(st.checkFolders) + " folders checked so far)" + rest;
}

}  // namespace

std::string formatStatus(const ServiceStatus& st) {
    std::string s;
    const bool incomplete = st.unlistedFolders.value_or(0) > 0;
    s += std::string("state: ") +
         (st.crawling == Flag::unknown ? kUnknown
          : st.crawling == Flag::yes   ? "crawling"
          : incomplete                 ? "incomplete"
                                       : "idle") +
         "\n";
    s += "entries: " + number(st.entries) + "\n";
    if (incomplete)
        s += "incomplete: " + number(st.unlistedFolders) + " folder(s) not listed yet (" + shown(st.unlistedReason) +
             "); tried again until they are\n";
    s += "folders scanned: " + number(st.foldersScanned) + " (queued: " + number(st.queued) + ")\n";
    if (st.lastCrawlMs)
        s += "last crawl: " + number(st.lastCrawlMs) + " ms, finished " + number(st.crawlAgeSeconds) + " s ago\n";
    else
        s += "crawl running for: " + number(st.crawlAgeSeconds) + " s\n";
    if (st.timesPending.value_or(0) > 0)
        s += "change times still being read: " + number(st.timesPending) + " folders\n";
    else if (st.lastCrawlTimesMs)
        s += "change times read: " + number(st.lastCrawlTimesMs) + " ms after the crawl began\n";
    s += "watches: " + number(st.watches) + "\n";
    if (st.fanotifyFileSystems) s += "whole file systems watched (fanotify): " + number(st.fanotifyFileSystems) + "\n";
    s += "unwatched folders: " + number(st.unwatched);
    if (st.watchLimitReached == Flag::yes || st.unwatched.value_or(0) > 0)
        s += " (inotify watch limit reached; rescanned every " + number(st.rescanSeconds) + " s)";
    s += "\n";
    s += "compactions: " + number(st.compactions) +
         (st.compactionWaiting == Flag::yes ? " (one waiting for answers to end)" : "") + "\n";
    s += formatSnapshot(st);
    s += "snapshot file: " + shown(st.snapshotPath) + "\n";
    s += formatCheck(st);
    if (st.memoryBytes) {
        s += "memory: " + std::to_string(*st.memoryBytes / (uint64_t{1024} * 1024)) + " MiB in the index";
        if (st.entries.value_or(0) > 0) s += " (" + std::to_string(*st.memoryBytes / *st.entries) + " bytes per entry)";
        s += "\n";
    } else {
        s += std::string("memory: ") + kUnknown + "\n";
    }
    for (const std::string& r : st.roots) s += "root: " + escapeControls(r) + "\n";
    for (const std::string& r : st.waitingRoots) s += "root waiting to appear: " + escapeControls(r) + "\n";
    s += formatSettings(st);
    s += "pid: " + number(st.pid) + "\n";
    return s;
}

}  // namespace qf::index
