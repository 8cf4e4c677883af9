#pragma once
// The index's large tables (entries, names, name filter) each live in one
// mapping of memory of their own. A mapping grows in place or is moved by
// the kernel's page tables (mremap) and is never copied, so a table can
// grow by small steps: after a crawl's trim, the first change asks for a
// sliver more room, not for a copy of the whole table and an eighth on top.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

namespace qf::index {

// Whole pages of anonymous memory; zero-filled when first mapped.
class MappedBytes {
public:
    MappedBytes() = default;
    MappedBytes(MappedBytes&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}
    MappedBytes& operator=(MappedBytes&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    MappedBytes(const MappedBytes&) = delete;
    MappedBytes& operator=(const MappedBytes&) = delete;
    ~MappedBytes();

    char* data() const { return data_; }
    size_t capacity() const { return capacity_; }
    // To at least `bytes`, rounded up to whole pages; none for zero. Throws
    // std::bad_alloc when the memory cannot be had.
    void remap(size_t bytes);

private:
    char* data_ = nullptr;
    size_t capacity_ = 0;
};

// A vector of plain values in a MappedBytes. Growth is the owner's choice
// (reserve); push_back alone grows by an eighth.
template <typename T>
class MappedArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    MappedArray() = default;
    explicit MappedArray(size_t count) { resize(count); }
    MappedArray(std::initializer_list<T> items) : MappedArray(items.begin(), items.size()) {}
    MappedArray(const T* items, size_t count) {
        reserve(count);
        if (count) std::memcpy(static_cast<void*>(data()), items, count * sizeof(T));
        size_ = count;
    }
    MappedArray(const MappedArray& other) : MappedArray(other.data(), other.size()) {}
    MappedArray(MappedArray&& other) noexcept
        : memory_(std::move(other.memory_)), size_(std::exchange(other.size_, 0)) {}
    MappedArray& operator=(MappedArray other) noexcept {
        std::swap(memory_, other.memory_);
        std::swap(size_, other.size_);
        return *this;
    }

    T* data() { return reinterpret_cast<T*>(memory_.data()); }
    const T* data() const { return reinterpret_cast<const T*>(memory_.data()); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t capacity() const { return memory_.capacity() / sizeof(T); }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }
    T* begin() { return data(); }
    T* end() { return data() + size_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size_; }
    T& back() { return data()[size_ - 1]; }

    void reserve(size_t count) {
        if (count > capacity()) memory_.remap(count * sizeof(T));
    }
    void shrink_to_fit() { memory_.remap(size_ * sizeof(T)); }
    void clear() { size_ = 0; }
    // New items are value-initialised (default member initialisers apply).
    void resize(size_t count) {
        reserve(count);
        for (size_t i = size_; i < count; ++i) ::new (static_cast<void*>(data() + i)) T();
        size_ = count;
    }
    void push_back(const T& item) {
        if (size_ == capacity()) reserve(size_ + std::max<size_t>(size_ / 8, 1));
        data()[size_++] = item;
    }
    void append(const T* items, size_t count) {
        if (count == 0) return;
        if (size_ + count > capacity()) reserve(std::max(size_ + count, size_ + size_ / 8));
        std::memcpy(static_cast<void*>(data() + size_), items, count * sizeof(T));
        size_ += count;
    }

private:
    MappedBytes memory_;
    size_t size_ = 0;
};

}  // namespace qf::index
