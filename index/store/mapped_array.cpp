#include "index/store/mapped_array.h"

#include <sys/mman.h>
#include <unistd.h>

namespace qf::index {

namespace {

size_t wholePages(size_t n) {
    static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return (n + page - 1) / page * page;
}

// Large tables are worth huge pages: fewer faults and TLB misses.
constexpr size_t kHuge = size_t{2} << 20;

}  // namespace

MappedBytes::~MappedBytes() {
    if (data_) ::munmap(data_, capacity_);
}

void MappedBytes::remap(size_t bytes) {
    const size_t capacity = wholePages(bytes);
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

}  // namespace qf::index
