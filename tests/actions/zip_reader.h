#pragma once
// Reads the central directory of a zip file: just enough to check the
// archive layout without depending on the library that wrote it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf::test {

struct ZipEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;  // uncompressed
    std::uint32_t unixMode = 0;
};

// Empty when the file is not a readable zip.
std::vector<ZipEntry> readZipDirectory(const std::string& path);
std::uint32_t crc32Of(std::string_view data);

}  // namespace qf::test
