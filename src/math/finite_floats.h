// Whether floats stored in a file are finite, judged on their bits: a NaN or
// an infinity has every exponent bit set. Loaders run this over whole lumps
// before they use them, so it reads four floats at a time where it can.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesk {

// Whether floats floats, from byte first of each of records records of
// stride bytes at base (any alignment), are all finite.
inline bool RecordFloatsFinite(const uint8_t *base, size_t records, size_t stride, size_t first, size_t floats) {
    // (exponent bits + one exponent unit) reaches bit 31 only from all ones.
    constexpr uint32_t kExponent = 0x7F800000u, kUnit = 0x00800000u;
    uint32_t carry = 0;
#if defined(__SSE2__)
    const __m128i exponent = _mm_set1_epi32(static_cast<int>(kExponent));
    const __m128i unit = _mm_set1_epi32(static_cast<int>(kUnit));
    __m128i carries = _mm_setzero_si128();
#endif
#if defined(__SSE2__)
    // Groups of four; a last partial group is read overlapping the one before.
    const size_t packed = floats / 4 + (floats > 4 && floats % 4 != 0 ? 1 : 0);
    const size_t single = floats < 4 ? floats : 0;
#else
    const size_t packed = 0;
    const size_t single = floats;
#endif
    for (size_t r = 0; r < records; ++r) {
        const uint8_t *p = base + r * stride + first;
#if defined(__SSE2__)
        for (size_t g = 0; g < packed; ++g) {
            const size_t at = g + 1 < packed || floats % 4 == 0 ? 16 * g : 4 * (floats - 4);
            const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at));
            carries = _mm_or_si128(carries, _mm_add_epi32(_mm_and_si128(bits, exponent), unit));
        }
#endif
        for (size_t k = 0; k < single; ++k, p += 4) {
            uint32_t bits;
            std::memcpy(&bits, p, sizeof bits);
            carry |= (bits & kExponent) + kUnit;
        }
    }
#if defined(__SSE2__)
    if (_mm_movemask_ps(_mm_castsi128_ps(carries)) != 0) return false;
#endif
    return (carry & 0x80000000u) == 0;
}

// Whether count consecutive floats at bytes are all finite.
inline bool FloatsFinite(const void *bytes, size_t count) {
    return RecordFloatsFinite(static_cast<const uint8_t *>(bytes), 1, 0, 0, count);
}

}  // namespace vesk
