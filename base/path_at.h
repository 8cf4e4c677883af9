#pragma once
// Paths of any length. A system call takes at most PATH_MAX bytes of path,
// yet folders nest deeper than that: such a path is reached in steps, each
// opened relative to the folder before it.
#include <fcntl.h>

#include <string>
#include <string_view>

#include "base/expected.h"
#include "base/unique_fd.h"

namespace qf {

// An absolute path as a folder descriptor and the rest of the path below
// it, short enough for one call: use dirFd() and rest() with the *at()
// calls. A path that fits in one call needs no descriptor (AT_FDCWD).
class PathAt {
public:
    int dirFd() const { return dir_ ? dir_.get() : AT_FDCWD; }
    const char* rest() const { return rest_.c_str(); }

private:
    friend Expected<PathAt> pathAt(std::string_view path);
    UniqueFd dir_;
    std::string rest_;
};

// Opens the folders above the last part of `path` that one call cannot
// reach, each step relative to the one before (O_PATH, so no read right is
// needed, as with a plain path). Symbolic links are followed on the way as
// they would be in a plain path.
Expected<PathAt> pathAt(std::string_view path);

// open(path, flags) for a path of any length.
Expected<UniqueFd> openPath(std::string_view path, int flags);

}  // namespace qf
