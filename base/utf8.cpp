#include "base/utf8.h"

#include <cstdint>
#include <cstring>

namespace qf {

namespace {

// Eight bytes at a time: names and paths are long and mostly ASCII.
inline std::size_t asciiRun(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    for (std::uint64_t word; i + 8 <= n; i += 8) {
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ULL) break;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// The well-formed byte sequences of Unicode's table 3-7, for a lead byte
// of 0x80 or above and `left` >= 1 bytes from it: the lead byte sets the
// length and the range of the second byte, which is where overlong forms,
// surrogates and code points past U+10FFFF differ from sound ones. No code
// point is computed. 0 when not well-formed.
inline std::size_t multiByteLength(const unsigned char* p, std::size_t left) {
    // Second-byte ranges by the lead's low four bits (E0: no overlong
    // below U+0800; ED: no surrogates; F0: no overlong below U+10000; F4:
    // nothing above U+10FFFF).
    static constexpr unsigned char kLow3[16] = {0xA0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                                                0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    static constexpr unsigned char kHigh3[16] = {0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF,
                                                 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0x9F, 0xBF, 0xBF};
    static constexpr unsigned char kLow4[5] = {0x90, 0x80, 0x80, 0x80, 0x80};
    static constexpr unsigned char kHigh4[5] = {0xBF, 0xBF, 0xBF, 0xBF, 0x8F};
    const unsigned char lead = p[0];
    if (lead < 0xC2) return 0;  // a continuation byte, or C0/C1 (overlong)
    if (lead <= 0xDF) return left >= 2 && isUtf8Continuation(p[1]) ? 2 : 0;
    if (lead <= 0xEF) {
        const unsigned index = lead & 0x0F;
        return left >= 3 && p[1] >= kLow3[index] && p[1] <= kHigh3[index] && isUtf8Continuation(p[2]) ? 3 : 0;
    }
    if (lead <= 0xF4) {
        const unsigned index = lead & 0x07;
        return left >= 4 && p[1] >= kLow4[index] && p[1] <= kHigh4[index] && isUtf8Continuation(p[2]) &&
                       isUtf8Continuation(p[3])
                   ? 4
                   : 0;
    }
    return 0;  // F5 and up: past U+10FFFF
}

}  // namespace

std::size_t asciiPrefixLength(std::string_view bytes) {
    return asciiRun(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at) {
    if (at >= bytes.size()) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
    return p[0] < 0x80 ? 1 : multiByteLength(p, bytes.size() - at);
}

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            i += asciiRun(p + i, n - i);
            continue;
        }
        const std::size_t length = multiByteLength(p + i, n - i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

}  // namespace qf
