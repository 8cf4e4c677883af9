#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/error.h"

namespace qf::index {

// A folder gone, or replaced by something that is no folder, since it was
// queued.
bool isGone(const Error& error);
// No descriptor left, in this process or in the system.
bool isOutOfDescriptors(const Error& error);
// A folder the user may not read is left out on purpose: no failure of the
// index, and not tried again.
bool isPermissionDenied(const Error& error);

// Folders whose listing failed, each tried again after a pause that grows
// with its failures, until it is listed or gone. Most failures pass by
// themselves (out of descriptors or memory, interrupted, a folder removed
// and made again); the others (a failing disk) are tried now and then.
// While any folder waits here the index is incomplete. Not thread-safe:
// the crawler locks.
class FolderRetries {
public:
    struct Due {
        uint32_t entry;
        bool force;
        bool recurse;
    };

    // Records a failed listing of `entry`, to be tried again.
    void failed(uint32_t entry, bool force, bool recurse, const Error& why, int64_t nowMs);
    // Forgets `entry`: listed, or gone from the index.
    void done(uint32_t entry);
    // The folders due at `nowMs`; they stay counted until done() or failed().
    std::vector<Due> takeDue(int64_t nowMs);
    // When the next one is due, when one waits.
    std::optional<int64_t> nextDueMs() const;
    // Follows a compaction's renumbering (old index -> new); entries dropped
    // by it are gone.
    void renumber(const std::vector<uint32_t>& remap);
    void clear() { folders_.clear(); }

    size_t size() const { return folders_.size(); }
    // Why the latest of them failed.
    std::string reason() const { return reason_; }

private:
    struct Folder {
        bool force = false;
        bool recurse = false;
        bool taken = false;  // handed out by takeDue and not yet back
        int failures = 0;
        int64_t dueMs = 0;
    };
    std::unordered_map<uint32_t, Folder> folders_;
    std::string reason_;
};

}  // namespace qf::index
