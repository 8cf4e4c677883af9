#include "base/path_at.h"

#include <climits>

namespace qf {
namespace {

// The length of the longest lead of `path` that ends at a "/" and, with its
// terminating NUL, fits in one call; 0 when there is none.
size_t stepLength(std::string_view path) {
    if (path.size() < PATH_MAX) return path.size();
    size_t slash = path.rfind('/', PATH_MAX - 1);
    return slash == std::string_view::npos || slash == 0 ? 0 : slash;
}

}  // namespace

Expected<PathAt> pathAt(std::string_view path) {
    PathAt at;
    std::string step;
    while (path.size() >= PATH_MAX) {
        size_t length = stepLength(path);
        if (length == 0) return Error::fromErrno(ENAMETOOLONG, "a part of the path is too long");
        step.assign(path.substr(0, length));
        UniqueFd next(::openat(at.dirFd(), step.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!next) return Error::lastErrno("cannot open a folder on the way");
        at.dir_ = std::move(next);
        path.remove_prefix(length);
        while (!path.empty() && path.front() == '/') path.remove_prefix(1);
    }
    at.rest_.assign(path);
    // The rest of a path cut at a "/" is relative; "." keeps an empty one valid.
    if (at.rest_.empty()) at.rest_ = ".";
    return at;
}

Expected<UniqueFd> openPath(std::string_view path, int flags) {
    Expected<PathAt> at = pathAt(path);
    if (!at) return std::move(at).error();
    UniqueFd fd(::openat(at->dirFd(), at->rest(), flags | O_CLOEXEC));
    if (!fd) return Error::lastErrno("cannot open");
    return fd;
}

}  // namespace qf
