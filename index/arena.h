#pragma once
// Names end to end in one mapping of memory. It grows in place or is moved
// by the kernel's page tables (mremap), never copied, so it can grow by
// small steps: a crawl that grows it from nothing to tens of megabytes
// copies nothing, and after the crawl's trim the first new name reserves
// only what reserve() asks for.
#include <cstddef>
#include <string_view>

namespace qf::index {

class Arena {
public:
    Arena() = default;
    Arena(const char* data, size_t size);
    Arena(std::string_view bytes) : Arena(bytes.data(), bytes.size()) {}
    Arena(const char* text) : Arena(std::string_view(text)) {}
    Arena(const Arena& other) : Arena(other.data(), other.size()) {}
    Arena(Arena&& other) noexcept;
    Arena& operator=(Arena other) noexcept;
    ~Arena();

    const char* data() const { return data_; }
    char* data() { return data_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    char operator[](size_t i) const { return data_[i]; }

    // Throws std::bad_alloc when the memory cannot be had.
    void reserve(size_t n);
    void shrink_to_fit();
    void append(std::string_view s);
    Arena& operator+=(char c);

private:
    void remap(size_t capacity);

    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;  // bytes mapped, a whole number of pages
};

}  // namespace qf::index
