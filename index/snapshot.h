#pragma once
#include <string>

#include "index_store.h"

namespace qf::index {

// Writes the live entries of `store` to `path` atomically: a temporary file
// in the same folder, flushed to disk, then renamed over the old snapshot,
// so a crash leaves either the old or the new snapshot, never a torn one.
bool writeSnapshot(const IndexStore& store, const std::string& path, std::string* error);

enum class SnapshotLoad { loaded, missing, corrupt };

// Loads a snapshot into `store`. A file that is damaged, truncated or of
// another version yields Corrupt with the reason in `error`; `store` is
// then left unchanged.
SnapshotLoad loadSnapshot(const std::string& path, IndexStore& store, std::string* error);

}  // namespace qf::index
