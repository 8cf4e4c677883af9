#include "actions/sha256_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "base/unique_fd.h"

namespace qf {
namespace {

Expected<UniqueFd> openRegularFile(const std::string& path) {
    // O_NONBLOCK keeps open() itself from waiting on a FIFO's writer.
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return Error::lastErrno("opening " + path);
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) return Error::lastErrno("examining " + path);
    if (!S_ISREG(st.st_mode)) return Error(Errc::invalidInput, path + " is not a regular file");
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags >= 0) fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

struct DigestContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// OpenSSL picks the CPU's SHA extensions where there are any.
class Sha256 {
public:
    Sha256() : ctx_(EVP_MD_CTX_new()) { EVP_DigestInit_ex(ctx_.get(), EVP_sha256(), nullptr); }
    void add(const char* data, std::size_t size) { EVP_DigestUpdate(ctx_.get(), data, size); }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(ctx_.get(), digest, &length);
        static const char* digits = "0123456789abcdef";
        std::string out;
        for (unsigned int i = 0; i < length; ++i) {
            out += digits[digest[i] >> 4];
            out += digits[digest[i] & 15];
        }
        return out;
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> ctx_;
};

}  // namespace

Expected<FileDigest> sha256File(const std::string& path, std::size_t chunkBytes) {
    auto fd = openRegularFile(path);
    if (!fd) return std::move(fd).error();
    FileDigest result;
    Sha256 hash;
    std::vector<char> chunk(chunkBytes);
    for (;;) {
        // Fill the chunk completely unless the file ends, so a chunk is
        // exactly chunkBytes whatever the kernel hands out per read.
        std::size_t filled = 0;
        while (filled < chunk.size()) {
            ssize_t n = read(fd->get(), chunk.data() + filled, chunk.size() - filled);
            if (n < 0 && errno == EINTR) continue;
            // A digest of the part read so far would pass for the file's.
            if (n < 0) return Error::lastErrno("reading " + path);
            if (n == 0) break;
            filled += static_cast<std::size_t>(n);
        }
        if (filled > 0) {
            hash.add(chunk.data(), filled);
            ++result.chunks;
        }
        if (filled < chunk.size()) break;
    }
    result.hex = hash.hex();
    return result;
}

}  // namespace qf
