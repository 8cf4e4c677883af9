// UTF-8 tests without ICU, so that mdfind, which only checks the paths it
// prints, does not load it.
#include "fold.h"

#include <cstdint>
#include <cstring>

namespace qf::index {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// The length of the ASCII run at the start of bytes, eight at a time: most
// names are ASCII, and mdfind checks every byte of every path it prints.
size_t asciiRun(const unsigned char* bytes, size_t n) {
    size_t i = 0;
    for (uint64_t word; i + 8 <= n; i += 8) {
        std::memcpy(&word, bytes + i, 8);
        if (word & kHighBits) break;
    }
    while (i < n && bytes[i] < 0x80) ++i;
    return i;
}

}  // namespace

bool isAscii(std::string_view bytes) {
    return asciiRun(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == bytes.size();
}

bool isValidUtf8(std::string_view s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            i += asciiRun(reinterpret_cast<const unsigned char*>(s.data()) + i, n - i);
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else
            return false;
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

}  // namespace qf::index
