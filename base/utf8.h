#pragma once
// The one test of UTF-8 well-formedness, without ICU: mdfind checks every
// path it prints with it and must start without loading ICU.
#include <cstddef>
#include <string_view>

namespace qf {

// Whether a byte continues a multi-byte sequence (10xxxxxx).
inline bool isUtf8Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The number of bytes below 0x80 at the start of `bytes`.
std::size_t asciiPrefixLength(std::string_view bytes);

// True when every byte is below 0x80.
inline bool isAscii(std::string_view bytes) { return asciiPrefixLength(bytes) == bytes.size(); }

// The length of the well-formed UTF-8 sequence of one code point (one to
// four bytes) that starts at `at`, or 0 when none does: overlong forms,
// surrogates, code points above U+10FFFF and cut sequences are not
// well-formed.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at);

// True when all of `bytes` is well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

}  // namespace qf
