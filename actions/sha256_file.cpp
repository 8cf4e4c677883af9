#include "actions/sha256_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <cerrno>
#include <vector>

#include "actions/unique_fd.h"

namespace qf {
namespace {

UniqueFd openRegularFile(const std::string& path) {
    // O_NONBLOCK keeps open() itself from waiting on a FIFO's writer.
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return fd;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags >= 0) fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

FileDigest sha256File(const std::string& path, std::size_t chunkBytes) {
    FileDigest result;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    UniqueFd fd = openRegularFile(path);
    if (fd.valid()) {
        result.opened = true;
        std::vector<char> chunk(chunkBytes);
        for (;;) {
            // Fill the chunk completely unless the file ends, so a chunk is
            // exactly chunkBytes whatever the kernel hands out per read.
            std::size_t filled = 0;
            while (filled < chunk.size()) {
                ssize_t n = read(fd.get(), chunk.data() + filled, chunk.size() - filled);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) result.readError = true;
                if (n <= 0) break;
                filled += static_cast<std::size_t>(n);
            }
            if (filled > 0) {
                hash.addData(QByteArrayView(chunk.data(), static_cast<qsizetype>(filled)));
                ++result.chunks;
            }
            if (filled < chunk.size() || result.readError) break;
        }
    }
    result.hex = hash.result().toHex().toStdString();
    return result;
}

}  // namespace qf
