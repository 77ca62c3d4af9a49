// Inline number reading for hot text loops. Each form gives exactly what
// ParseInt / ParseFloat give (value, advance, success) and hands every input
// it cannot settle cheaply to them.
#pragma once

#include <cstdint>
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
// integer of at most 2^24 with at most ten of them after the point: both that
// integer and the power of ten are exact floats, so one IEEE division rounds
// the exact quotient once, as a correctly rounded parser does.
inline bool ParseFloatFast(std::string_view &text, float &out) {
    static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
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
    if (digits == 0 || digits > 19 || fraction > 10 || mantissa > (uint64_t{1} << 24) ||
        (p < end && (*p == 'e' || *p == 'E')))
        return ParseFloat(text, out);
    const float value = static_cast<float>(mantissa) / kPow10[fraction];
    out = negative ? -value : value;
    text.remove_prefix(static_cast<size_t>(p - text.data()));
    return true;
}

}  // namespace vesk
