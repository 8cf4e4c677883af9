#include "index/store/file_times.h"

namespace qf::index {

namespace {

// splitmix64's finaliser: every input bit reaches every output bit.
uint64_t mix(uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

FileTimes::FileTimes(int64_t mtime, int64_t btime) {
    constexpr int64_t kBillion = 1'000'000'000;
    uint64_t seconds = 0, nanos = 0;
    if (mtime != kNoTime) {
        int64_t s = mtime / kBillion, rest = mtime % kBillion;
        if (rest < 0) {
            --s;
            rest += kBillion;
        }
        seconds = static_cast<uint64_t>(s + kSecondsBias);
        nanos = static_cast<uint64_t>(rest);
    }
    const uint64_t mark = mix(nanos ^ mix(static_cast<uint64_t>(btime))) >> (64 - kMarkBits);
    bits_ = seconds << kMarkBits | mark;
}

}  // namespace qf::index
