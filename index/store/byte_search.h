#pragma once
#include <cstddef>
#include <string_view>

namespace qf::index {

// The first occurrence of `needle` in [begin, end), or nullptr. Compares the
// needle's first and last bytes at 16 or 32 positions at once, so the
// folded names of a million entries are scanned in a few milliseconds
// without an index of their own.
const char* findBytes(const char* begin, const char* end, std::string_view needle);

}  // namespace qf::index
