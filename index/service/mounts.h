#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <sys/types.h>

namespace qf::index {

struct MountPoint {
    std::string path;
    std::string fsType;
    dev_t device = 0;
    int mountId = -1;  // unique while mounted: a disk mounted again gets a new one

    bool operator==(const MountPoint&) const = default;
};

// The mounts listed in a /proc/self/mountinfo text.
std::vector<MountPoint> parseMountInfo(std::string_view text);
std::vector<MountPoint> currentMounts();

// Pseudo, memory and network file systems that a name index must not
// enter: their contents are not files a user looks for, or reading them is
// slow and remote.
bool isPrunedFsType(std::string_view fsType);
const std::vector<std::string_view>& prunedFsTypes();
// The network file systems among them, indexed when the user asks for them.
bool isNetworkFsType(std::string_view fsType);
// Whether the index leaves a file system of this type out, given whether
// network file systems are indexed.
bool isLeftOutFsType(std::string_view fsType, bool network);
// Top-level folders pruned whatever they hold.
const std::vector<std::string_view>& prunedTopFolders();

// Devices whose file system is pruned.
std::unordered_set<dev_t> prunedDevices(const std::vector<MountPoint>& mounts, bool network = false);

// QUILLFIND_INDEX_ROOTS (colon-separated) resolved, or nothing when it is
// not set: the roots then come from the settings file or are the default.
std::optional<std::vector<std::string>> rootsFromEnvironment();
// Resolved to real paths; missing ones and ones inside another root are
// dropped.
std::vector<std::string> resolveRoots(const std::vector<std::string>& candidates);

}  // namespace qf::index
