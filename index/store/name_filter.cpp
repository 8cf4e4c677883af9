#include "index/store/name_filter.h"

#include <algorithm>

namespace qf::index {
namespace {

uint32_t trigramBit(const char* p) {
    const uint32_t t = static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
                       static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
                       static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16;
    return (t * 0x9E3779B1u) >> 19;  // 13 bits: one of 8192
}

}  // namespace

NameFilter::Probe NameFilter::probeFor(std::string_view foldedNeedle) {
    Probe probe;
    for (size_t i = 0; i + 3 <= foldedNeedle.size(); ++i) probe.bits.push_back(trigramBit(foldedNeedle.data() + i));
    std::sort(probe.bits.begin(), probe.bits.end());
    probe.bits.erase(std::unique(probe.bits.begin(), probe.bits.end()), probe.bits.end());
    return probe;
}

void NameFilter::add(uint32_t entry, std::string_view folded) {
    const size_t base = static_cast<size_t>(entry / kBlockEntries) * kWordsPerBlock;
    if (words_.size() < base + kWordsPerBlock) {
        // Grows by a sixty-fourth like the tables it follows.
        if (words_.capacity() < base + kWordsPerBlock)
            words_.reserve(base + kWordsPerBlock + std::max<size_t>(size_t{4} * kWordsPerBlock, words_.size() / 64));
        words_.resize(base + kWordsPerBlock);
    }
    uint64_t* block = words_.data() + base;
    for (size_t i = 0; i + 3 <= folded.size(); ++i) {
        const uint32_t bit = trigramBit(folded.data() + i);
        block[bit / 64] |= uint64_t{1} << (bit % 64);
    }
}

bool NameFilter::mayContain(uint32_t block, const Probe& probe) const {
    const size_t base = static_cast<size_t>(block) * kWordsPerBlock;
    if (base + kWordsPerBlock > words_.size()) return true;
    const uint64_t* words = words_.data() + base;
    return std::all_of(probe.bits.begin(), probe.bits.end(),
                       [&](uint32_t bit) { return (words[bit / 64] >> (bit % 64)) & 1; });
}

}  // namespace qf::index
