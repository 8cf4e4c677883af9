#pragma once
#include <compare>
#include <cstdint>
#include <limits>

namespace qf::index {

inline constexpr int64_t kNoTime = std::numeric_limits<int64_t>::min();

// What an entry keeps of a file's times, in eight bytes: its content change
// time to the second, which the date searches and their order need, and a
// 29-bit fingerprint of the nanoseconds the second leaves out together with
// the birth time. The fingerprint is only ever compared: a file written
// again within the same second, or replaced under the same name and time,
// still compares different (but for one chance in half a billion).
class __attribute__((packed)) FileTimes {
public:
    FileTimes() = default;
    // Nanoseconds since 1970, or kNoTime.
    FileTimes(int64_t mtime, int64_t btime);

    bool known() const { return bits_ >> kMarkBits != 0; }
    // Seconds since 1970 (rounded down), or kNoTime when not known.
    int64_t seconds() const { return known() ? static_cast<int64_t>(bits_ >> kMarkBits) - kSecondsBias : kNoTime; }
    bool operator==(const FileTimes& other) const { return bits_ == other.bits_; }

    // As saved in a snapshot; every value is a valid one.
    uint64_t bits() const { return bits_; }
    static FileTimes fromBits(uint64_t bits) {
        FileTimes t;
        t.bits_ = bits;
        return t;
    }

private:
    static constexpr int kMarkBits = 29;
    // Every second an int64 of nanoseconds can hold, above zero (none) and
    // below 2^35.
    static constexpr int64_t kSecondsBias = int64_t{1} << 34;
    uint64_t bits_ = 0;
};
static_assert(sizeof(FileTimes) == 8);

}  // namespace qf::index
