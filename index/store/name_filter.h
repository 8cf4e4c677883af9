#pragma once
// A small filter over the folded names that rules out most of the index for
// a search before any name is read: for each block of 256 entries, a bitmap
// of the byte trigrams their folded names hold (hashed to 8192 bits, one
// KiB per block, four bytes per entry). A needle can only be found in a
// block whose bitmap has every one of the needle's trigrams.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "index/store/mapped_array.h"

namespace qf::index {

class NameFilter {
public:
    static constexpr uint32_t kBlockEntries = 256;

    // The bits a needle needs; none for needles shorter than three bytes,
    // which every block may hold.
    struct Probe {
        std::vector<uint32_t> bits;
    };
    static Probe probeFor(std::string_view foldedNeedle);

    // Records the folded name of entry `entry`; entries come in ascending order.
    void add(uint32_t entry, std::string_view folded);
    void clear() { words_.clear(); }
    void shrinkToFit() { words_.shrink_to_fit(); }
    bool mayContain(uint32_t block, const Probe& probe) const;
    size_t memoryBytes() const { return words_.capacity() * sizeof(uint64_t); }

private:
    static constexpr uint32_t kBits = 8192;
    static constexpr uint32_t kWordsPerBlock = kBits / 64;
    MappedArray<uint64_t> words_;
};

}  // namespace qf::index
