#pragma once
// SHA-256 of a file's content, read in bounded chunks so memory use does not
// grow with the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/expected.h"

namespace qf {

inline constexpr std::size_t kDigestChunkBytes = std::size_t{4} << 20;

struct FileDigest {
    std::string hex;          // 64 lowercase hex digits
    std::int64_t chunks = 0;  // non-empty reads fed to the hash
};

// Only regular files are hashed: a FIFO would block the worker forever and a
// folder has no content to digest. A read error part-way is a failure, never
// the digest of a prefix.
Expected<FileDigest> sha256File(const std::string& path, std::size_t chunkBytes = kDigestChunkBytes);

}  // namespace qf
