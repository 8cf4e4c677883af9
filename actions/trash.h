#pragma once
// The freedesktop.org Trash: the item goes to files/ of a trash folder and
// an info/<name>.trashinfo records where it came from and when, so any
// desktop's trash can restore it.
#include <ctime>
#include <string>
#include <string_view>

#include "base/expected.h"

namespace qf {

// $XDG_DATA_HOME/Trash, with $HOME/.local/share standing in for an unset
// or relative XDG_DATA_HOME.
std::string homeTrashFolder();

struct TrashPlace {
    std::string folder;  // the trash folder holding files/ and info/
    // Empty for the home trash (Path= is absolute); otherwise the top of the
    // file system, and Path= is relative to it.
    std::string topFolder;
};

// The trash that takes items from path's file system: the home trash when
// it is on the same one, else $top/.Trash/$uid or $top/.Trash-$uid.
Expected<TrashPlace> trashPlaceFor(const std::string& path);

// "%" escapes for every byte outside A-Z a-z 0-9 - _ . ~ and "/".
std::string percentEncodePath(std::string_view path);
std::string trashInfoText(std::string_view encodedPath, std::time_t deletedAt);

// Moves the item into the given trash. The info file is created first,
// exclusively, so two trashings never share a name; if the move then fails
// the info file is taken back.
Expected<void> trashInto(const std::string& path, const TrashPlace& place);
// trashPlaceFor, then trashInto.
Expected<void> moveItemToTrash(const std::string& path);

}  // namespace qf
