#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace qf::index {

// Allocator for the index's few large arrays: blocks of 2 MiB and more are
// mapped directly and marked for transparent huge pages, which cuts the
// number of page faults (costly, especially under virtualisation) while
// the index grows or a snapshot is loaded by a factor of up to 512.
template <typename T>
struct HugePageAllocator {
    using value_type = T;
    static constexpr size_t kHuge = size_t{2} << 20;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    static size_t mappedSize(size_t n) { return (n * sizeof(T) + kHuge - 1) / kHuge * kHuge; }

    T* allocate(size_t n) {
        if (n * sizeof(T) < kHuge) return std::allocator<T>().allocate(n);
        size_t size = mappedSize(n);
        // Map one huge page more than needed and trim to a 2 MiB boundary.
        void* raw = ::mmap(nullptr, size + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) throw std::bad_alloc();
        // Pointer arithmetic rather than integers cast back to pointers keeps
        // the compiler's knowledge of where the pointers come from.
        char* start = static_cast<char*>(raw);
        size_t lead = (kHuge - reinterpret_cast<uintptr_t>(raw) % kHuge) % kHuge;
        char* aligned = start + lead;
        if (lead > 0) ::munmap(start, lead);
        ::munmap(aligned + size, kHuge - lead);  // lead < kHuge: never empty
        ::madvise(aligned, size, MADV_HUGEPAGE);
        return reinterpret_cast<T*>(aligned);
    }

    void deallocate(T* p, size_t n) noexcept {
        if (n * sizeof(T) < kHuge) return std::allocator<T>().deallocate(p, n);
        ::munmap(p, mappedSize(n));
    }

    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

template <typename T>
using HugeVector = std::vector<T, HugePageAllocator<T>>;

}  // namespace qf::index
