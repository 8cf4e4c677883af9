#pragma once
#include <string>

#include "base/unique_fd.h"

namespace qf::index {

// Opens a file of the service's own folder (lock, log): never through a
// symbolic link, never blocking on a FIFO, and only a regular file.
// `flags` adds the access mode and O_CREAT/O_APPEND as needed; files are
// created with mode 0600. On failure `error` names the file and the reason.
UniqueFd openIndexFolderFile(const std::string& path, int flags, std::string* error);

}  // namespace qf::index
