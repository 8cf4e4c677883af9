#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qf::index {

// A fast 64-bit checksum for detecting torn or damaged snapshot files
// (not a cryptographic hash). Streaming: feed pieces of any size.
class Checksum {
public:
    void update(const void* data, size_t size) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        while (size > 0 && pending_ > 0) {
            buffer_[pending_++] = *p++;
            --size;
            if (pending_ == 8) {
                mix(load(buffer_));
                pending_ = 0;
            }
        }
        while (size >= 8) {
            mix(load(p));
            p += 8;
            size -= 8;
        }
        // Here the buffer is empty whenever bytes are left, and fewer than 8 are.
        if (size > 0) {
            std::memcpy(buffer_, p, size);
            pending_ = size;
        }
    }

    uint64_t digest() const {
        uint64_t h = hash_;
        uint64_t tail = 0;
        std::memcpy(&tail, buffer_, pending_);
        h = (h ^ tail ^ (length_ * 8 + pending_)) * kMul;
        h ^= h >> 32;
        h *= kMul;
        h ^= h >> 29;
        return h;
    }

private:
    static constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    static uint64_t load(const unsigned char* p) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
    void mix(uint64_t w) {
        hash_ = (hash_ ^ (w * 0xC2B2AE3D27D4EB4Full)) * kMul;
        hash_ = (hash_ << 31) | (hash_ >> 33);
        ++length_;
    }
    uint64_t hash_ = 0x27D4EB2F165667C5ull;
    uint64_t length_ = 0;
    unsigned char buffer_[8] = {};
    size_t pending_ = 0;
};

}  // namespace qf::index
