#include "service_status.h"

#include "printable.h"

namespace qf::index {
namespace {

std::string quotedIfSpaced(const std::string& word) {
    return word.find_first_of(" \t") == std::string::npos ? word : "\"" + word + "\"";
}

std::string formatSettings(const ServiceStatus& st) {
    const IndexSettings& set = st.settings;
    std::string s;
    s += "settings file: " + (st.settingsPath.empty() ? std::string("none") : escapeControls(st.settingsPath)) + "\n";
    if (st.rootsFixed)
        s += "setting roots: from QUILLFIND_INDEX_ROOTS\n";
    else if (set.roots.empty())
        s += "setting roots: default (every local disk)\n";
    else {
        std::string joined;
        for (const std::string& r : set.roots) joined += (joined.empty() ? "" : ":") + r;
        s += "setting roots: " + escapeControls(joined) + "\n";
    }
    std::string excluded;
    for (const std::string& w : set.excludedNames) excluded += " " + quotedIfSpaced(w);
    for (const std::string& w : set.excludedPaths) excluded += " " + quotedIfSpaced(w);
    s += "setting exclude:" + (excluded.empty() ? std::string(" nothing") : escapeControls(excluded)) + "\n";
    s += std::string("setting hidden: ") + (set.hidden ? "yes" : "no") + "\n";
    s += std::string("setting network: ") + (set.network ? "yes" : "no") + "\n";
    for (const SettingsProblem& p : st.settingsProblems)
        s += "settings error: " + (p.line > 0 ? "line " + std::to_string(p.line) + ": " : std::string()) + p.reason +
             " (ignored)\n";
    return s;
}

}  // namespace

std::string formatStatus(const ServiceStatus& st) {
    auto n = [](auto v) { return std::to_string(v); };
    std::string s;
    s += "state: " + std::string(st.crawling ? "crawling" : "idle") + "\n";
    s += "entries: " + n(st.entries) + "\n";
    s += "folders scanned: " + n(st.foldersScanned) + " (queued: " + n(st.queued) + ")\n";
    if (st.lastCrawlMs)
        s += "last crawl: " + n(*st.lastCrawlMs) + " ms, finished " + n(st.crawlAgeSeconds) + " s ago\n";
    else
        s += "crawl running for: " + n(st.crawlAgeSeconds) + " s\n";
    s += "watches: " + n(st.watches) + "\n";
    if (st.fanotifyFileSystems) s += "whole file systems watched (fanotify): " + n(*st.fanotifyFileSystems) + "\n";
    s += "unwatched folders: " + n(st.unwatched);
    if (st.watchLimitReached || st.unwatched > 0)
        s += " (inotify watch limit reached; rescanned every " + n(st.rescanSeconds) + " s)";
    s += "\n";
    s += "compactions: " + n(st.compactions) + (st.compactionWaiting ? " (one waiting for answers to end)" : "") + "\n";
    if (st.snapshotFailure)
        s += "snapshot: not written (" + *st.snapshotFailure + "); next attempt in " + n(st.snapshotRetrySeconds) +
             " s\n";
    else if (st.snapshotAgeSeconds)
        s += "snapshot: written " + n(*st.snapshotAgeSeconds) + " s ago\n";
    else
        s += std::string("snapshot: ") + (st.snapshotLoaded ? "loaded at start" : "none yet") + "\n";
    s += "snapshot file: " + st.snapshotPath + "\n";
    s += "memory: " + n(st.memoryBytes / (size_t{1024} * 1024)) + " MiB in the index";
    if (st.entries > 0) s += " (" + n(st.memoryBytes / st.entries) + " bytes per entry)";
    s += "\n";
    for (const std::string& r : st.roots) s += "root: " + r + "\n";
    s += formatSettings(st);
    s += "pid: " + n(st.pid) + "\n";
    return s;
}

}  // namespace qf::index
