// Inline number reading for hot text loops. Each form gives exactly what
// ParseInt / ParseFloat give (value, advance, success) and hands every input
// it cannot settle cheaply to them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "io/numbers.h"

namespace vesk {

// Space, tab, LF, VT, FF and CR: the set SkipSpace skips.
inline bool IsTextSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDecimalDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

inline const char *SkipTextSpace(const char *p, const char *end) {
    while (p < end && IsTextSpace(*p)) ++p;
    return p;
}

// Appends the run of decimal digits at p to value (wrapping past 2^64, which
// callers detect by the count) and returns its end. Eight bytes at a time
// where the text has them: numbers in model files are mostly six or more
// digits, and a byte loop costs a compare and a multiply per digit.
inline const char *ReadDigits(const char *p, const char *end, uint64_t &value) {
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u, kZeros = 0x3030303030303030u, kSix = 0x0606060606060606u;
    while (end - p >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        if constexpr (std::endian::native != std::endian::little) break;
        // A byte is a digit when its high nibble is 3 before and after adding
        // 6; a carry out of a non-digit byte only reaches bytes after it.
        const uint64_t other = ((v & kHigh) ^ kZeros) | (((v + kSix) & kHigh) ^ kZeros);
        const int n = other ? std::countr_zero(other) / 8 : 8;
        if (n == 0) return p;
        // The n digits as the low end of eight, leading zeros filling the rest.
        uint64_t d = ((v & 0x0F0F0F0F0F0F0F0Fu) << (8 * (8 - n)));
        d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
        d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFu;
        d = (d * 10000 + (d >> 32)) & 0xFFFFFFFFu;
        static constexpr uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
        value = value * kScale[n] + d;
        p += n;
        if (n < 8) return p;
    }
    while (p < end && IsDecimalDigit(*p)) value = value * 10 + static_cast<unsigned>(*p++ - '0');
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
    p = ReadDigits(p, end, mantissa);
    size_t digits = static_cast<size_t>(p - whole);
    size_t fraction = 0;
    if (p < end && *p == '.') {
        const char *const first = ++p;
        p = ReadDigits(p, end, mantissa);
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

}  // namespace vesk
