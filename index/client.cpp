#include "client.h"

#include <sys/socket.h>

#include <cerrno>

#include "helper_programs.h"
#include "index_protocol.h"
#include "socket_io.h"
#include "wire.h"

namespace qf::index {

bool exchange(int fd, const Request& request, const std::function<bool(const ReplyRecord&)>& onRecord) {
    if (!sendAll(fd, encodeRequest(request))) return false;
    std::string buffer;
    char chunk[64 * 1024];
    size_t consumed = 0;
    while (true) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<size_t>(n));
        while (true) {
            size_t end = buffer.find('\0', consumed);
            if (end == std::string::npos) break;
            if (end > consumed) {
                ReplyRecord r{buffer[consumed], std::string_view(buffer).substr(consumed + 1, end - consumed - 1)};
                if (!onRecord(r)) return false;
                if (r.tag == qf::protocol::kTagEnd) return true;
            }
            consumed = end + 1;
        }
        buffer.erase(0, consumed);
        consumed = 0;
    }
}

}  // namespace qf::index
