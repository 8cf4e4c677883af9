#pragma once
#include <cstddef>
#include <string_view>

#include "index/store/mapped_array.h"

namespace qf::index {

// Names end to end, in a mapping that grows without copying.
class Arena : public MappedArray<char> {
public:
    Arena() = default;
    Arena(const char* data, size_t size) : MappedArray<char>(data, size) {}
    Arena(std::string_view bytes) : Arena(bytes.data(), bytes.size()) {}
    Arena(const char* text) : Arena(std::string_view(text)) {}

    void append(std::string_view s) { MappedArray<char>::append(s.data(), s.size()); }
    Arena& operator+=(char c) {
        MappedArray<char>::append(&c, 1);
        return *this;
    }
};

}  // namespace qf::index
