#pragma once
#include <string>

#include "index_store.h"

namespace qf::index {

// Writes the live entries of `store` to `path` atomically: a temporary file
// in the same folder, flushed to disk, then renamed over the old snapshot,
// so a crash leaves either the old or the new snapshot, never a torn one.
// Nothing in the folder is followed: the temporary file is created anew
// (a link planted in its place is replaced, never written through).
bool writeSnapshot(const IndexStore& store, const std::string& path, std::string* error);

// Removes temporary files "<path>.tmp.*" left by a save that was killed.
// Call only while no save can run (the service holds its lock). Returns
// how many were removed.
int removeStaleSnapshotTemps(const std::string& path);

enum class SnapshotLoad { loaded, missing, corrupt };

// Loads a snapshot into `store`. A file that is damaged, truncated or of
// another version, or that is not a regular file, yields `corrupt` with the
// reason in `error`; `store` is then left unchanged. The header is checked
// against the file's size before the body is read.
SnapshotLoad loadSnapshot(const std::string& path, IndexStore& store, std::string* error);

}  // namespace qf::index
