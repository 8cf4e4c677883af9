#pragma once
// Splitting UTF-8 text into user-perceived characters (extended grapheme
// clusters, ICU's root-locale character break rules).
#include <cstddef>
#include <string_view>
#include <vector>

namespace qf {

// True when s is ASCII without CR: then every byte is one character.
bool isPlainAscii(std::string_view s);
// The characters of s, as views into s, in order.
std::vector<std::string_view> graphemes(std::string_view s);
// Byte offsets where characters start, followed by s.size(); {0} for "".
std::vector<std::size_t> graphemeBoundaries(std::string_view s);
// True when offset is one of the sorted boundaries.
bool isBoundary(const std::vector<std::size_t>& boundaries, std::size_t offset);

}  // namespace qf
