#pragma once
// Local stream sockets addressed by a path.
#include <sys/un.h>

#include <string>

#include "base/expected.h"
#include "base/unique_fd.h"

namespace qf {

// The address for path; ENAMETOOLONG when it does not fit (the kernel
// would otherwise cut it and reach a different file).
Expected<sockaddr_un> unixSocketAddress(const std::string& path);

// A close-on-exec stream socket connected to path.
Expected<UniqueFd> connectUnixSocket(const std::string& path);

}  // namespace qf
