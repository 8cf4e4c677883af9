#pragma once
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
// Top-level folders pruned whatever they hold.
const std::vector<std::string_view>& prunedTopFolders();

// Devices whose file system is pruned.
std::unordered_set<dev_t> prunedDevices(const std::vector<MountPoint>& mounts);

// The folders to index: QUILLFIND_INDEX_ROOTS when set (colon-separated),
// otherwise "/". Resolved to real paths; missing ones and ones inside
// another root are dropped.
std::vector<std::string> configuredRoots();
std::vector<std::string> resolveRoots(const std::vector<std::string>& candidates);

}  // namespace qf::index
