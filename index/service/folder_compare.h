#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/expected.h"
#include "index/service/index_state.h"
#include "index/service/service_options.h"

namespace qf::index {

// One way in which the index and the disk differ in a folder.
struct FolderDifference {
    enum class Kind { missing, extra, changed };
    Kind kind;
    std::string name;  // in the folder; empty: the folder itself
    bool operator==(const FolderDifference&) const = default;
};

// A folder of the index as it stands on disk now.
struct FolderComparison {
    std::vector<FolderDifference> differences;
    struct Subfolder {
        uint32_t entry;
        std::string name;
    };
    // Folders on both sides that the crawl enters, with their entries in
    // the numbering of `generation`.
    std::vector<Subfolder> subfolders;
    uint32_t entry = kNoEntry;  // the folder, in the numbering of `generation`
    uint64_t generation = 0;
    dev_t device = 0;  // the folder's file system
    size_t items = 0;  // items compared
};

// A folder a walk over the index has reached, to be compared.
struct FolderVisit {
    std::string path;
    uint32_t entry;
    uint64_t generation;  // the numbering `entry` belongs to
    dev_t parentDevice;   // 0: a root
};

// A folder found to differ, to be looked at again before it counts.
struct PendingDifferences {
    FolderVisit visit;
    std::vector<FolderDifference> first;
    int64_t foundMs;  // steadyMs()
};

// Lists the folder `entry` (at `path`, read in `generation`; looked up
// again by its path when the index was renumbered since) afresh by the
// index's own rules, the crawl's: the settings' exclusions, the pruned top
// folders of the system root and file systems left out, and compares the
// listing with the folder's children in the index: names, types and change
// times, and the folder's own change time. `parentDevice` is the file
// system of the folder above (0: none, a root). A folder that may not be
// read compares equal, as the crawl leaves it empty. Takes `state.mutex`
// shared.
Expected<FolderComparison> compareFolder(const IndexState& state, const ServiceOptions& options,
                                         const std::string& path, uint32_t entry, uint64_t generation,
                                         dev_t parentDevice);

// The differences found in both `first` and `again`: what a change made
// while the first was read explains is not reported.
std::vector<FolderDifference> lastingDifferences(const std::vector<FolderDifference>& first,
                                                 const std::vector<FolderDifference>& again);

}  // namespace qf::index
