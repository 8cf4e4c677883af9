#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qf::index {

// What the user chose to index, from index.conf. The defaults are those of
// a missing file: every local disk, nothing excluded, hidden names indexed,
// network file systems left out.
struct IndexSettings {
    std::vector<std::string> roots;          // absolute folders; empty: the default roots
    std::vector<std::string> excludedNames;  // a folder of this name is excluded anywhere
    std::vector<std::string> excludedPaths;  // absolute folders excluded with all they hold
    bool hidden = true;                      // index names starting with "."
    bool network = false;                    // index network file systems

    bool operator==(const IndexSettings&) const = default;
};

// A line of the file that was ignored, and why. Line 0: the file itself.
struct SettingsProblem {
    int line = 0;
    std::string reason;

    bool operator==(const SettingsProblem&) const = default;
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
// up. A malformed line is reported and ignored as a whole.
LoadedSettings parseIndexSettings(std::string_view text);

// Reads and parses the file; a missing file gives the defaults without a
// problem, one that cannot be read gives the defaults and a problem.
LoadedSettings loadIndexSettings(const std::string& path);

// Whether an item is left out of the index: a name starting with "." when
// hidden names are not indexed, a folder of an excluded name, or anything
// at or below an excluded folder.
bool isExcluded(const IndexSettings& settings, std::string_view name, std::string_view path, bool isFolder);

}  // namespace qf::index
