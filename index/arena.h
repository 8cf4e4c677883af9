#pragma once
// Names end to end in one block of memory that grows only when, and to
// exactly what, reserve() asks for. A string would double its capacity on
// each growth instead: after a crawl's trim, the first new name would leave
// half of a large arena reserved and unused.
#include <cstddef>
#include <string_view>

#include "huge_page_allocator.h"

namespace qf::index {

class Arena {
public:
    Arena() = default;
    Arena(const char* data, size_t size) : bytes_(data, data + size) {}
    Arena(std::string_view bytes) : Arena(bytes.data(), bytes.size()) {}
    Arena(const char* text) : Arena(std::string_view(text)) {}

    const char* data() const { return bytes_.data(); }
    char* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    size_t capacity() const { return bytes_.capacity(); }
    char operator[](size_t i) const { return bytes_[i]; }

    void reserve(size_t n) { bytes_.reserve(n); }
    void shrink_to_fit() { bytes_.shrink_to_fit(); }
    void append(std::string_view s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
    Arena& operator+=(char c) {
        bytes_.push_back(c);
        return *this;
    }

private:
    HugeVector<char> bytes_;
};

}  // namespace qf::index
