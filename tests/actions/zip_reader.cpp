#include "zip_reader.h"

#include <array>

#include "support.h"

namespace qf::test {
namespace {

std::uint32_t le(std::string_view s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

std::uint64_t le64(std::string_view s, std::size_t at) {
    return le(s, at, 4) | (static_cast<std::uint64_t>(le(s, at + 4, 4)) << 32);
}

// The uncompressed size may sit in the zip64 extra field (id 0x0001).
std::uint64_t zip64Size(std::string_view extra, std::uint64_t fallback) {
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const auto id = le(extra, at, 2), len = le(extra, at + 2, 2);
        if (id == 0x0001 && len >= 8 && at + 12 <= extra.size()) return le64(extra, at + 4);
        at += 4 + len;
    }
    return fallback;
}

}  // namespace

std::uint32_t crc32Of(std::string_view data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::vector<ZipEntry> readZipDirectory(const std::string& path) {
    const std::string zip = readFile(path);
    if (zip.size() < 22) return {};
    std::size_t eocd = std::string::npos;
    for (std::size_t at = zip.size() - 22 + 1; at-- > 0;) {
        if (le(zip, at, 4) == 0x06054b50) {
            eocd = at;
            break;
        }
    }
    if (eocd == std::string::npos) return {};
    const std::uint32_t count = le(zip, eocd + 10, 2);
    std::size_t at = le(zip, eocd + 16, 4);
    std::vector<ZipEntry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + 46 > zip.size() || le(zip, at, 4) != 0x02014b50) return {};
        ZipEntry e;
        const bool unixHost = (le(zip, at + 4, 2) >> 8) == 3;
        e.flags = static_cast<std::uint16_t>(le(zip, at + 8, 2));
        e.crc = le(zip, at + 16, 4);
        const std::uint32_t nameLen = le(zip, at + 28, 2), extraLen = le(zip, at + 30, 2),
                            commentLen = le(zip, at + 32, 2);
        e.unixMode = unixHost ? le(zip, at + 38, 4) >> 16 : 0;
        e.name = zip.substr(at + 46, nameLen);
        const std::uint32_t size32 = le(zip, at + 24, 4);
        e.size = size32 == 0xFFFFFFFFu ? zip64Size(std::string_view(zip).substr(at + 46 + nameLen, extraLen), size32)
                                       : size32;
        entries.push_back(e);
        at += 46 + nameLen + extraLen + commentLen;
    }
    return entries;
}

}  // namespace qf::test
