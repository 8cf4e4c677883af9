#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "index/service/crawler.h"
#include "index/service/index_settings.h"
#include "index/service/index_state.h"
#include "index/service/mount_table.h"
#include "index/service/service_options.h"
#include "index/service/watches.h"

namespace qf::index {

// The parts of the service a change of settings or of mounts reaches.
struct IndexParts {
    IndexState& state;
    Watches& watches;
    Crawler& crawler;
    const ServiceOptions& options;
};

// The roots chosen by the options, else by the settings, else the system
// root; resolved.
std::vector<std::string> chosenRoots(const ServiceOptions& options, const IndexSettings& settings);

// The roots the settings name that do not exist (yet): they are indexed
// when they appear.
std::vector<std::string> waitingRoots(const ServiceOptions& options, const IndexSettings& settings);

// The root in force at `path` is another folder now (removed and made
// again, or replaced): what the index holds for it goes, and it is read
// afresh. Takes `state.mutex`.
void reviveRoot(const IndexParts& parts, const std::string& path);

// Whether `path` is a disk's place below the system root's run/media while
// the system root is indexed: such a disk is a root of its own, as run is
// pruned. Needs `state.mutex` (shared).
bool isMediaPath(const IndexState& state, const ServiceOptions& options, std::string_view path);

// Puts settings in force. The first time (`initial`) only records them;
// later, entries newly left out leave the index, folders newly let in are
// listed again, and changed roots are dropped or crawled. Problems that
// differ from the last ones are logged. Takes `state.mutex`.
void applySettings(const IndexParts& parts, const LoadedSettings& loaded, const std::vector<MountPoint>& mounts,
                   bool initial);

// The settings file exists but cannot be used (`why`). At start nothing is
// indexed until it can be; later the settings in force stay. Either way the
// reason shows in the status until a usable file is applied. Takes
// `state.mutex`.
void holdSettings(const IndexParts& parts, const Error& why, bool initial);

// Adds the roots chosen when the index has none, drops disks of a loaded
// snapshot no longer mounted and adds those mounted under run/media. Takes
// `state.mutex`.
void startRoots(const IndexParts& parts, const std::vector<MountPoint>& mounts);

// Follows disks mounted and unmounted below the roots: a new one is crawled,
// a gone one's entries are dropped. `now` is the whole table after the
// change. Takes `state.mutex`.
void applyMountChanges(const IndexParts& parts, const MountChanges& changes, const std::vector<MountPoint>& now);

}  // namespace qf::index
