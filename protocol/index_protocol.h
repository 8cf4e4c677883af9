#pragma once
// What the index service shares with everything that talks to it: the
// environment variables, where its socket, lock and snapshot live, and the
// record tags of its socket protocol. Header-only, POSIX only.

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include <unistd.h>

namespace qf::protocol {

// Colon-separated folders to index instead of the default roots.
inline constexpr const char* kEnvIndexRoots = "QUILLFIND_INDEX_ROOTS";
// One folder holding socket, lock and snapshot (tests point it at a temp dir).
inline constexpr const char* kEnvIndexDir = "QUILLFIND_INDEX_DIR";
// The mdfind executable the program runs.
inline constexpr const char* kEnvMdfind = "QUILLFIND_MDFIND";

inline constexpr const char* kSocketName = "indexd.sock";
inline constexpr const char* kLockName = "indexd.lock";
inline constexpr const char* kSnapshotName = "index.snapshot";
inline constexpr const char* kLogName = "indexd.log";
inline constexpr const char* kServiceExecutable = "quillfind-indexd";

// Request: a sequence of "key=value" fields, each ended by NUL, the whole
// request ended by an empty field (a second NUL). Keys are listed below.
inline constexpr const char* kKeyOp = "op";            // name | glob | since | status | best | verify
inline constexpr const char* kKeyValue = "value";      // term or pattern (UTF-8)
inline constexpr const char* kKeyCase = "icase";       // "1": ignore case
inline constexpr const char* kKeyDiacritics = "idia";  // "1": ignore diacritics
inline constexpr const char* kKeySince = "since";      // seconds since 1970, inclusive
inline constexpr const char* kKeyBefore = "before";    // seconds since 1970, exclusive
inline constexpr const char* kKeyOnlyIn = "onlyin";    // repeatable folder
inline constexpr const char* kKeyCount = "count";      // "1": answer a count only
inline constexpr const char* kKeyTerm = "term";        // best: repeatable word every name holds
inline constexpr const char* kKeyPattern = "pattern";  // best: repeatable whole-name pattern
inline constexpr const char* kKeyLimit = "limit";      // best: how many names at most

// Reply: records of one tag byte, a payload and a NUL. The last record is
// kTagEnd (payload "0" on success, an error message otherwise). A reader
// skips tags it does not know.
inline constexpr char kTagPath = 'P';
inline constexpr char kTagCount = 'C';
// One status field, "key=value" (index/client/service_status.h lists the
// keys). A reader ignores keys it does not know and treats a key that is
// not sent as unknown, so keys can be added without breaking it.
inline constexpr char kTagStatusField = 'F';
inline constexpr char kTagEnd = 'E';
// Name and change-date answers, before kTagEnd: the index is not whole yet
// (its first crawl runs, or folders could not be listed), so the answer may
// lack items; the payload says why, for people.
inline constexpr char kTagNotice = 'N';
// Best: one ranked name, "<rank><kind> <change time in ns, or -> <path>",
// best first, after a kTagCount record with the number of all matches.
inline constexpr char kTagRanked = 'R';
// Verify: one difference between the index and the disk, "<kind> <path>"
// with kind missing (on disk, not indexed), extra (indexed, not on disk) or
// changed (another type or change time).
inline constexpr char kTagDifference = 'D';
// Verify: a folder that could not be listed, "<reason>\n<path>".
inline constexpr char kTagUnlisted = 'U';
// Verify: folders and items compared so far, "<folders> <items>", every
// second while the walk goes on, and in all at the end (kTagSummary).
inline constexpr char kTagProgress = 'G';
inline constexpr char kTagSummary = 'S';

inline std::string envOr(const char* name, std::string fallback = {}) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : std::move(fallback);
}

// The folder for socket and lock: private to the user, cleared at logout.
inline std::string runtimeDirectory() {
    std::string dir = envOr(kEnvIndexDir);
    if (!dir.empty()) return dir;
    std::string xdg = envOr("XDG_RUNTIME_DIR");
    if (!xdg.empty()) return xdg + "/quillfind";
    return "/tmp/quillfind-" + std::to_string(getuid());
}

// The folder for the snapshot: it must survive a reboot, so it lives in
// the cache folder unless the index directory is overridden.
inline std::string cacheDirectory() {
    std::string dir = envOr(kEnvIndexDir);
    if (!dir.empty()) return dir;
    std::string xdg = envOr("XDG_CACHE_HOME");
    if (!xdg.empty()) return xdg + "/quillfind";
    std::string home = envOr("HOME");
    if (!home.empty()) return home + "/.cache/quillfind";
    return runtimeDirectory();
}

inline std::string socketPath() { return runtimeDirectory() + "/" + kSocketName; }
inline std::string lockPath() { return runtimeDirectory() + "/" + kLockName; }
inline std::string snapshotPath() { return cacheDirectory() + "/" + kSnapshotName; }
inline std::string logPath() { return runtimeDirectory() + "/" + kLogName; }

}  // namespace qf::protocol
