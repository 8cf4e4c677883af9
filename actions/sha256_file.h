#pragma once
// SHA-256 of a file's content, read in bounded chunks so memory use does not
// grow with the file.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qf {

inline constexpr std::size_t kDigestChunkBytes = std::size_t{4} << 20;

struct FileDigest {
    bool opened = false;      // a regular file that could be opened for reading
    bool readError = false;   // reading stopped early; hex then covers only a prefix
    std::string hex;          // 64 lowercase hex digits
    std::int64_t chunks = 0;  // non-empty reads fed to the hash
    bool ok() const { return opened && !readError; }
};

// Only regular files are hashed: a FIFO would block the worker forever and a
// folder has no content to digest.
FileDigest sha256File(const std::string& path, std::size_t chunkBytes = kDigestChunkBytes);

}  // namespace qf
