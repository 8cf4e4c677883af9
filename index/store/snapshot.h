#pragma once
#include <string>

#include "base/expected.h"
#include "index/store/index_store.h"

namespace qf::index {

// Writes the live entries of `store` to `path` atomically: a temporary file
// in the same folder, flushed to disk, then renamed over the old snapshot,
// so a crash leaves either the old or the new snapshot, never a torn one.
// Nothing in the folder is followed: the temporary file is created anew
// (a link planted in its place is replaced, never written through).
Expected<void> writeSnapshot(const IndexStore& store, const std::string& path);

// Removes temporary files "<path>.tmp.*" left by a save that was killed.
// Call only while no save can run (the service holds its lock). Returns
// how many were removed.
int removeStaleSnapshotTemps(const std::string& path);

enum class SnapshotLoad { loaded, missing };

// Loads a snapshot into `store`, or says there is none. A file that is
// damaged, truncated or of another version, or that is not a regular file,
// is Errc::badData with the reason, one that cannot be read its errno;
// `store` is then left unchanged. The header is checked against the file's
// size before the body is read.
Expected<SnapshotLoad> loadSnapshot(const std::string& path, IndexStore& store);

}  // namespace qf::index
