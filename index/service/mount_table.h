#pragma once
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "index/service/mounts.h"

namespace qf::index {

// The mount table of this process's namespace, followed while the service
// runs: read whole at any time; its descriptor reports a change to poll().
class MountTable {
public:
    explicit MountTable(const std::string& path = "/proc/self/mountinfo");

    bool valid() const { return fd_.valid(); }
    // For the caller's own poll(): POLLPRI (with POLLERR) reports a change.
    int fd() const { return fd_.get(); }
    // The mounts listed now; empty when the table cannot be read.
    std::vector<MountPoint> read() const;

private:
    UniqueFd fd_;
};

// What changed between two readings of the table. A mount is known by its
// id, so a disk unmounted and mounted again in between, even on the same
// device and path, shows as unmounted and mounted.
struct MountChanges {
    std::vector<MountPoint> mounted;
    std::vector<MountPoint> unmounted;
};
MountChanges diffMounts(const std::vector<MountPoint>& before, const std::vector<MountPoint>& after);

}  // namespace qf::index
