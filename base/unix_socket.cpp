#include "base/unix_socket.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace qf {

Expected<sockaddr_un> unixSocketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.find('\0') != std::string::npos) return failedWith(EINVAL);
    if (path.size() >= sizeof address.sun_path) return failedWith(ENAMETOOLONG);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

Expected<UniqueFd> connectUnixSocket(const std::string& path) {
    auto address = unixSocketAddress(path);
    if (!address) return Unexpected{address.error()};
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return failedWith(errno);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0)
        return failedWith(errno);
    return fd;
}

}  // namespace qf
