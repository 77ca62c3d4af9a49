// Host arrays sized exactly from a size query, followed by a guard region that
// must come back untouched, and seeded damage to real files.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace vesk::test {

// count records for the library to fill, then kGuard records it must not touch.
// Every byte starts as kFill, so a record the library wrote can be told apart.
template <class T>
class SizedOutput {
public:
    static constexpr size_t kGuard = 4;
    static constexpr uint8_t kFill = 0xA5;

    explicit SizedOutput(int64_t count) : count_(count > 0 ? static_cast<size_t>(count) : 0) {
        bytes_.assign((count_ + kGuard) * sizeof(T), kFill);
    }
    T *data() { return reinterpret_cast<T *>(bytes_.data()); }
    size_t size() const { return count_; }
    // No byte past the sized records changed.
    bool GuardIntact() const {
        for (size_t i = count_ * sizeof(T); i < bytes_.size(); ++i)
            if (bytes_[i] != kFill) return false;
        return true;
    }
    // Some byte of the first `prefix` bytes of record i changed.
    bool Written(size_t i, size_t prefix = sizeof(T)) const {
        for (size_t b = 0; b < prefix; ++b)
            if (bytes_[i * sizeof(T) + b] != kFill) return true;
        return false;
    }

private:
    size_t count_;
    std::vector<uint8_t> bytes_;  // T is a plain record; bytes keep it aligned enough via operator new
};

// A copy of bytes with a few bytes XORed with non-zero values at seeded
// places; half the places fall in the first headerBytes, where the counts live.
inline std::vector<uint8_t> Damaged(std::vector<uint8_t> bytes, uint32_t seed, size_t headerBytes) {
    if (bytes.empty()) return bytes;
    std::mt19937 rng(seed);
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) {
        const size_t span = (i % 2 == 0 && headerBytes > 0 && headerBytes < bytes.size()) ? headerBytes : bytes.size();
        const size_t at = rng() % span;
        bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1u + rng() % 255u));
    }
    return bytes;
}

}  // namespace vesk::test
