#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/expected.h"
#include "index/client/service_status.h"  // SettingsProblem, which the status reports

namespace qf::index {

// What the user chose to index, from index.conf. The defaults are those of
// a missing file: every local disk, nothing excluded, hidden names indexed,
// network file systems left out.
struct IndexSettings {
    // Absolute folders; nothing: the default roots. Given but empty, no
    // folder given could be used, and nothing is indexed.
    std::optional<std::vector<std::string>> roots;
    std::vector<std::string> excludedNames;  // a folder of this name is excluded anywhere
    std::vector<std::string> excludedPaths;  // absolute folders excluded with all they hold
    bool hidden = true;                      // index names starting with "."
    bool network = false;                    // index network file systems

    bool operator==(const IndexSettings&) const = default;
};

struct LoadedSettings {
    IndexSettings settings;
    std::vector<SettingsProblem> problems;
};

// $XDG_CONFIG_HOME/quillfind/index.conf, or ~/.config/quillfind/index.conf.
std::string indexSettingsPath();

// Parses "key = value" lines; "#" starts a comment at the start of a line
// or after a space outside quotes. Keys: roots (colon-separated absolute
// folders), exclude (space-separated bare names or absolute folders,
// "quoted" when they hold spaces), hidden and network (yes or no). A later
// roots, hidden or network line replaces an earlier one; exclude lines add
// up. What cannot be used is reported, and never widens the index: a roots
// line keeps the folders that can be used (none, if none can), an exclude
// line the names and folders that can, a yes-or-no that is neither counts
// as no, and a line of an unknown key is ignored.
LoadedSettings parseIndexSettings(std::string_view text);

// Reads and parses the file. A missing file gives the defaults; one that
// exists but cannot be used (unreadable, over 1 MiB, not a regular file)
// fails, with the reason: it stands for settings that are not known.
Expected<LoadedSettings> loadIndexSettings(const std::string& path);

// Whether an item is left out of the index: a name starting with "." when
// hidden names are not indexed, a folder of an excluded name, or anything
// at or below an excluded folder.
bool isExcluded(const IndexSettings& settings, std::string_view name, std::string_view path, bool isFolder);

}  // namespace qf::index
