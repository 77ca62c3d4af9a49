// Inline number reading for hot text loops. Each form gives exactly what
// ParseInt / ParseFloat give (value, advance, success) and hands every input
// it cannot settle cheaply to them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <emmintrin.h>

#include "io/numbers.h"

namespace vesk {

// Space, tab, LF, VT, FF and CR: the set SkipSpace skips.
inline bool IsTextSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDecimalDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

inline const char *SkipTextSpace(const char *p, const char *end) {
    while (p < end && IsTextSpace(*p)) ++p;
    return p;
}

// Up to nine digits with an optional sign: always within 32 bits.
inline bool ParseIntFast(std::string_view &text, int32_t &out) {
    const char *const end = text.data() + text.size();
    const char *p = SkipTextSpace(text.data(), end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char *const first = p;
    int32_t value = 0;
    while (p < end && IsDecimalDigit(*p) && p - first < 9) value = value * 10 + (*p++ - '0');
    if (p == first || (p < end && IsDecimalDigit(*p))) return ParseInt(text, out);
    out = negative ? -value : value;
    text.remove_prefix(static_cast<size_t>(p - text.data()));
    return true;
}

// Plain decimals ([sign] digits [. digits], no exponent) whose digits form an
// integer below 2^53 with at most 22 of them after the point: that integer
// and the power of ten are exact doubles, so one IEEE division gives the
// exact quotient rounded once to a double q. Rounding q to a float then
// gives the correctly rounded float of the exact quotient unless q is itself
// a midpoint between two floats (any midpoint lying between q and the exact
// value would be a double nearer to it than q); those go to the general
// reader. The quotient lies within 1e-22 .. 2^53, far inside the normal
// float range, so the midpoint test is the low 29 bits of q's significand.
inline bool ParseFloatFast(std::string_view &text, float &out) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char *const end = text.data() + text.size();
    const char *p = SkipTextSpace(text.data(), end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    uint64_t mantissa = 0;
    const char *const whole = p;
    while (p < end && IsDecimalDigit(*p)) mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    size_t digits = static_cast<size_t>(p - whole);
    size_t fraction = 0;
    if (p < end && *p == '.') {
        const char *const first = ++p;
        while (p < end && IsDecimalDigit(*p)) mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = static_cast<size_t>(p - first);
        digits += fraction;
    }
    // No digits, an exponent, or digits that may have wrapped or are inexact.
    if (digits == 0 || digits > 19 || fraction > 22 || mantissa >= (uint64_t{1} << 53) ||
        (p < end && (*p == 'e' || *p == 'E')))
        return ParseFloat(text, out);
    const double q = static_cast<double>(mantissa) / kPow10[fraction];
    uint64_t bits;
    std::memcpy(&bits, &q, sizeof bits);
    if ((bits & ((uint64_t{1} << 29) - 1)) == uint64_t{1} << 28) return ParseFloat(text, out);
    const float value = static_cast<float>(q);
    out = negative ? -value : value;
    text.remove_prefix(static_cast<size_t>(p - text.data()));
    return true;
}

// Word readers: the word [s, e) is all of one number, between blanks. They
// give what ParseIntFast / ParseFloatFast give reading it (and its success
// with nothing left), loading bytes from s - 8 to s + 17, which must lie in
// the buffer. The length is known, so the number is read without first
// finding where it ends, and in vector registers: the integer units are what
// a line of numbers runs short of.
namespace word_detail {
// Each entry's last n bytes set.
alignas(16) inline constexpr uint64_t kLastBytes[9] = {
    0, 0xFF00000000000000u, 0xFFFF000000000000u, 0xFFFFFF0000000000u, 0xFFFFFFFF00000000u,
    0xFFFFFFFFFF000000u, 0xFFFFFFFFFFFF0000u, 0xFFFFFFFFFFFFFF00u, ~uint64_t{0}};

inline __m128i Load8(const char *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }
inline __m128i LastBytes(size_t n) { return Load8(reinterpret_cast<const char *>(&kLastBytes[n])); }

// Byte values less '0', and whether the bytes under keep were all digits.
inline __m128i DigitValues(__m128i bytes, __m128i keep, bool &digits) {
    const __m128i d = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
    digits = _mm_movemask_epi8(_mm_andnot_si128(isDigit, keep)) == 0;
    return _mm_and_si128(d, keep);
}

// The numbers of the digits (leading zeros filling) of each eight-byte lane,
// as dwords 0 and 1.
inline __m128i LaneNumbers(__m128i digits) {
    const __m128i tens = _mm_mullo_epi16(_mm_and_si128(digits, _mm_set1_epi16(0xFF)), _mm_set1_epi16(10));
    const __m128i pairs = _mm_add_epi16(tens, _mm_srli_epi16(digits, 8));
    const __m128i quads = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));
    return _mm_madd_epi16(_mm_packs_epi32(quads, quads), _mm_set1_epi32(0x00012710));
}

[[gnu::noinline]] inline bool IntWordSlow(const char *s, const char *e, int32_t &out) {
    std::string_view w(s, static_cast<size_t>(e - s));
    return ParseIntFast(w, out) && w.empty();
}
[[gnu::noinline]] inline bool FloatWordSlow(const char *s, const char *e, float &out) {
    std::string_view w(s, static_cast<size_t>(e - s));
    return ParseFloatFast(w, out) && w.empty();
}
}  // namespace word_detail

// An optional sign and one to eight digits, else handed to ParseIntFast.
[[gnu::always_inline]] inline bool ReadIntWord(const char *s, const char *e, int32_t &out) {
    using namespace word_detail;
    const bool negative = *s == '-';
    const char *const p = s + (negative | (*s == '+'));
    const size_t n = static_cast<size_t>(e - p);
    if (n - 1 > 7) return IntWordSlow(s, e, out);
    bool digits;
    const __m128i d = DigitValues(Load8(e - 8), LastBytes(n), digits);
    if (!digits) return IntWordSlow(s, e, out);
    // Signs follow no pattern a branch could learn.
    const uint32_t flip = 0u - negative;
    out = static_cast<int32_t>((static_cast<uint32_t>(_mm_cvtsi128_si32(LaneNumbers(d))) ^ flip) - flip);
    return true;
}

// An optional sign, one to seven digits, and a point with up to eight more,
// else handed to ParseFloatFast. The integer of the digits times the double
// nearest 10^-f lies within two units in the last place of the exact
// quotient; unless it is that near a midpoint between two floats (its low 29
// bits near 2^28) both round to the same float, and those go the long way.
[[gnu::always_inline]] inline bool ReadFloatWord(const char *s, const char *e, float &out) {
    using namespace word_detail;
    static constexpr double kInversePow10[] = {1e0, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7, 1e-8};
    static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const bool negative = *s == '-';
    const char *const p = s + (negative | (*s == '+'));
    const __m128i head = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), _mm_set1_epi8('0'));
    const unsigned headDigits =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(head, _mm_set1_epi8(9)), head)));
    const size_t wholeDigits = static_cast<size_t>(std::countr_zero(~headDigits));
    const char *const point = p + wholeDigits;
    const bool hasPoint = point < e;
    const size_t fractionDigits = hasPoint ? static_cast<size_t>(e - point - 1) : 0;
    if (wholeDigits - 1 > 6 || fractionDigits > 8 || (hasPoint && *point != '.')) return FloatWordSlow(s, e, out);
    // Lanes: the eight bytes that end at the point, and those that end at e.
    bool digits;
    const __m128i d = DigitValues(_mm_unpacklo_epi64(Load8(point - 8), Load8(e - 8)),
                                  _mm_unpacklo_epi64(LastBytes(wholeDigits), LastBytes(fractionDigits)), digits);
    if (!digits) return FloatWordSlow(s, e, out);
    // Whole and fraction as doubles, joined exactly (below 2^53), then scaled.
    const __m128d parts = _mm_cvtepi32_pd(LaneNumbers(d));
    const __m128d joined =
        _mm_add_sd(_mm_mul_sd(parts, _mm_load_sd(&kPow10[fractionDigits])), _mm_unpackhi_pd(parts, parts));
    const double q = _mm_cvtsd_f64(_mm_mul_sd(joined, _mm_load_sd(&kInversePow10[fractionDigits])));
    uint64_t bits;
    std::memcpy(&bits, &q, sizeof bits);
    if ((bits & ((uint64_t{1} << 29) - 1)) - ((uint64_t{1} << 28) - 4) <= 8) return FloatWordSlow(s, e, out);
    const float value = static_cast<float>(q);
    uint32_t valueBits;
    std::memcpy(&valueBits, &value, sizeof valueBits);
    valueBits ^= static_cast<uint32_t>(negative) << 31;
    std::memcpy(&out, &valueBits, sizeof out);
    return true;
}

}  // namespace vesk
