#pragma once
#include <string>

#include "base/expected.h"
#include "base/unique_fd.h"

namespace qf::index {

// Opens a file of the service's own folder (lock, log): never through a
// symbolic link, never blocking on a FIFO, and only a regular file.
// `flags` adds the access mode and O_CREAT/O_APPEND as needed; files are
// created with mode 0600. The error's context names the file.
Expected<UniqueFd> openIndexFolderFile(const std::string& path, int flags);

}  // namespace qf::index
