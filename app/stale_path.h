#pragma once
// The window's single-instance socket and lock live in the user's private
// runtime folder. Something else at one of those paths (a plain file, a
// folder, a link, left by a crash, a test or a mistake) would make every
// start run a window of its own; what the user owns and can go without
// loss is cleared away, and anything else stops the start with a reason.
#include <sys/types.h>

#include <string>

#include "base/expected.h"

namespace qf {

// Leaves `path` free or holding a file of `keptType` (S_IFSOCK, S_IFREG):
// removes a file of any other type that the user owns, and an empty folder
// of theirs. Fails, with the reason in one line, when something stays in
// the way (a folder with content, another user's file).
Expected<void> clearStalePath(const std::string& path, mode_t keptType, const std::string& purpose);

// `text` with control characters written as \xNN, for one-line messages
// about paths that came from the environment.
std::string printablePath(const std::string& text);

}  // namespace qf
