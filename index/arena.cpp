#include "arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace qf::index {

namespace {

size_t wholePages(size_t n) {
    static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return (n + page - 1) / page * page;
}

// Large arenas are worth huge pages: fewer faults and TLB misses.
constexpr size_t kHuge = size_t{2} << 20;

}  // namespace

Arena::Arena(const char* data, size_t size) {
    reserve(size);
    append({data, size});
}

Arena::Arena(Arena&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Arena& Arena::operator=(Arena other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    return *this;
}

Arena::~Arena() {
    if (data_) ::munmap(data_, capacity_);
}

void Arena::remap(size_t capacity) {
    if (capacity == capacity_) return;
    void* moved;
    if (capacity == 0) {
        ::munmap(data_, capacity_);
        moved = nullptr;
    } else if (!data_) {
        moved = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    } else {
        moved = ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
    }
    if (moved == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<char*>(moved);
    capacity_ = capacity;
    if (capacity >= kHuge) ::madvise(data_, capacity, MADV_HUGEPAGE);
}

void Arena::reserve(size_t n) {
    if (n > capacity_) remap(wholePages(n));
}

void Arena::shrink_to_fit() { remap(wholePages(size_)); }

void Arena::append(std::string_view s) {
    if (s.empty()) return;
    if (size_ + s.size() > capacity_) reserve(std::max(size_ + s.size(), capacity_ * 2));
    std::memcpy(data_ + size_, s.data(), s.size());
    size_ += s.size();
}

Arena& Arena::operator+=(char c) {
    append(std::string_view(&c, 1));
    return *this;
}

}  // namespace qf::index
