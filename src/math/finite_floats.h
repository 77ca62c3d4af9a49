// Whether floats stored in a file are finite, judged on their bits: a NaN or
// an infinity has every exponent bit set. Loaders run this over whole lumps
// before they use them, so it reads four floats at a time where it can.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

namespace vesk {

// (exponent bits + one exponent unit) reaches bit 31 only from all ones.
inline constexpr uint32_t kFloatExponent = 0x7F800000u;
inline constexpr uint32_t kFloatExponentUnit = 0x00800000u;

inline uint32_t FiniteCarry(const uint8_t *p) {
    uint32_t bits;
    std::memcpy(&bits, p, sizeof bits);
    return (bits & kFloatExponent) + kFloatExponentUnit;
}

// Whether kFloats floats, from byte first of each of records records of
// stride bytes at base (any alignment), are all finite.
template <size_t kFloats>
bool RecordFloatsFinite(const uint8_t *base, size_t records, size_t stride, size_t first) {
    static_assert(kFloats > 0);
    size_t r = 0;
    uint32_t carry = 0;
    // Groups of four; a last partial group is read overlapping the one
    // before. Fewer than four floats are read as a group
    // whose other lanes are ignored, which reads past a record's floats: the
    // last record is left to the plain loop, and so is everything where the
    // next record's floats do not cover what the group reads.
    constexpr size_t kGroups = (kFloats + 3) / 4;
    const __m128i exponent = kFloats >= 4 ? _mm_set1_epi32(static_cast<int>(kFloatExponent))
                                          : _mm_setr_epi32(static_cast<int>(kFloatExponent),
                                                           kFloats > 1 ? static_cast<int>(kFloatExponent) : 0,
                                                           kFloats > 2 ? static_cast<int>(kFloatExponent) : 0, 0);
    const __m128i unit = _mm_set1_epi32(static_cast<int>(kFloatExponentUnit));
    __m128i carries = _mm_setzero_si128();
    const size_t packed = kFloats >= 4 ? records : (stride + 4 * kFloats >= 16 && records > 0 ? records - 1 : 0);
    for (; r < packed; ++r) {
        const uint8_t *p = base + r * stride + first;
        // One record's groups first: only one OR per record waits on the last.
        __m128i record = _mm_setzero_si128();
#pragma GCC unroll 8
        for (size_t g = 0; g < kGroups; ++g) {
            const size_t at = g + 1 < kGroups || kFloats % 4 == 0 || kFloats < 4 ? 16 * g : 4 * (kFloats - 4);
            const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at));
            record = _mm_or_si128(record, _mm_add_epi32(_mm_and_si128(bits, exponent), unit));
        }
        carries = _mm_or_si128(carries, record);
    }
    if (_mm_movemask_ps(_mm_castsi128_ps(carries)) != 0) return false;
    for (; r < records; ++r)
        for (size_t k = 0; k < kFloats; ++k) carry |= FiniteCarry(base + r * stride + first + 4 * k);
    return (carry & 0x80000000u) == 0;
}

// Whether count consecutive floats at bytes are all finite.
inline bool FloatsFinite(const void *bytes, size_t count) {
    const uint8_t *p = static_cast<const uint8_t *>(bytes);
    const size_t groups = count / 4;
    return RecordFloatsFinite<4>(p, groups, 16, 0) &&
           (count % 4 == 0 || RecordFloatsFinite<1>(p + 16 * groups, count % 4, 4, 0));
}

}  // namespace vesk
