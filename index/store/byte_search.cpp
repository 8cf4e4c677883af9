#include "index/store/byte_search.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace qf::index {
namespace {

const char* findPlain(const char* begin, const char* end, std::string_view needle) {
    return static_cast<const char*>(memmem(begin, static_cast<size_t>(end - begin), needle.data(), needle.size()));
}

#if defined(__x86_64__)

// Candidate positions are those where both the first and the last byte of
// the needle sit at the right distance; only those are compared whole.
const char* findSse2(const char* begin, const char* end, std::string_view needle) {
    const size_t m = needle.size();
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    const char* p = begin;
    for (; p + 16 + m - 1 <= end; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + m - 1));
        unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const int bit = __builtin_ctz(mask);
            if (std::memcmp(p + bit + 1, needle.data() + 1, m - 2) == 0) return p + bit;
            mask &= mask - 1;
        }
    }
    return findPlain(p, end, needle);
}

__attribute__((target("avx2"))) const char* findAvx2(const char* begin, const char* end, std::string_view needle) {
    const size_t m = needle.size();
    const __m256i first = _mm256_set1_epi8(needle.front());
    const __m256i last = _mm256_set1_epi8(needle.back());
    const char* p = begin;
    for (; p + 32 + m - 1 <= end; p += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + m - 1));
        unsigned mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
        while (mask) {
            const int bit = __builtin_ctz(mask);
            if (std::memcmp(p + bit + 1, needle.data() + 1, m - 2) == 0) return p + bit;
            mask &= mask - 1;
        }
    }
    return findSse2(p, end, needle);
}

#endif

}  // namespace

const char* findBytes(const char* begin, const char* end, std::string_view needle) {
    if (needle.empty()) return begin;
    if (begin >= end || static_cast<size_t>(end - begin) < needle.size()) return nullptr;
    if (needle.size() == 1)
        return static_cast<const char*>(std::memchr(begin, needle[0], static_cast<size_t>(end - begin)));
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 ? findAvx2(begin, end, needle) : findSse2(begin, end, needle);
#else
    return findPlain(begin, end, needle);
#endif
}

}  // namespace qf::index
