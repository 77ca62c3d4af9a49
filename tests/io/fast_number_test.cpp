// The inline number readers against the general ones: same bits, same
// success, same place left in the text, over many seeded inputs.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "io/fast_number.h"

namespace vesk {
namespace {

struct FloatRead {
    bool ok;
    uint32_t bits;
    size_t left;
};

template <bool (*Parse)(std::string_view &, float &)>
FloatRead ReadFloat(const std::string &s) {
    std::string_view text = s;
    float value = 12345.0f;  // untouched on failure
    const bool ok = Parse(text, value);
    return {ok, std::bit_cast<uint32_t>(value), text.size()};
}

std::string Digits(std::mt19937 &rng, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
    return s;
}

// Decimals of every shape the readers meet: signs, leading zeros, long and
// short mantissas, points without digits on one side, exponents, odd ends.
std::string RandomDecimal(std::mt19937 &rng) {
    static const char *kLead[] = {"", "", " ", "\t", "  \t", "\r\n", "\v\f"};
    static const char *kSign[] = {"", "", "-", "+", "+-", "--"};
    static const char *kTail[] = {"", "", " ", "\t0.5", "\r", "x", ".", ".5", "e", "E", "e+", "e7", "E-3", ":", "f"};
    std::string s = kLead[rng() % std::size(kLead)];
    s += kSign[rng() % std::size(kSign)];
    if (rng() % 4 == 0) s += std::string(rng() % 4, '0');
    s += Digits(rng, rng() % (rng() % 3 ? 9 : 22));
    // Appends only: GCC 12 at -O3 sees a false overlap in "literal" + string.
    if (rng() % 4) {
        s += '.';
        s += Digits(rng, rng() % (rng() % 3 ? 11 : 18));
    }
    if (rng() % 10 == 0) {
        s += rng() % 2 ? "e" : "E";
        if (rng() % 3 == 0) s += '-';
        s += Digits(rng, 1 + rng() % 2);
    }
    s += kTail[rng() % std::size(kTail)];
    return s;
}

// Plain decimals right at the edges of what the quick path takes: integers
// near 2^24 and 2^53 scaled by powers of ten up to and past 22 fraction digits.
std::string EdgeDecimal(std::mt19937 &rng) {
    const uint64_t top = rng() % 2 ? uint64_t{1} << 24 : uint64_t{1} << 53;
    const uint64_t m = top - 40u + rng() % 80u;
    std::string digits = std::to_string(rng() % 3 ? m : (uint64_t{rng()} << 21 ^ rng()) % top);
    const size_t fraction = rng() % 25;
    if (fraction >= digits.size()) digits.insert(0, fraction - digits.size() + 1, '0');
    const size_t point = digits.size() - fraction;
    std::string out = rng() % 2 ? "-" : "";
    out.append(digits, 0, point);
    out += '.';
    out.append(digits, point, std::string::npos);
    return out;
}

// Shortest and long prints of floats and of the midpoints between
// neighbouring floats: the cases where rounding decides.
std::string NearTie(std::mt19937 &rng) {
    const float f = std::ldexp(static_cast<float>(rng() % (1u << 24)), static_cast<int>(rng() % 40) - 30);
    const double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, 1e30f))) / 2.0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(rng() % 12), rng() % 2 ? mid : static_cast<double>(f));
    return buffer;
}

// Decimals of 16 digits next to a midpoint between neighbouring floats (or on
// it): rounded to a double first, many of them land on the midpoint itself,
// and rounding that to a float would then go the wrong way.
std::string NearMidpoint(std::mt19937 &rng) {
    for (;;) {
        const unsigned k = static_cast<unsigned>(rng() % 17);  // digits after the point
        const int power = 27 - static_cast<int>(std::ceil(k * 3.3219280948873623)) + static_cast<int>(rng() % 3) - 1;
        // mid * 10^k = (2m + 1) * 5^k * 2^(power + k), m a float's 24-bit
        // significand; below 2^64 for k <= 16.
        uint64_t n = 2u * ((1u << 23) + rng() % (1u << 23)) + 1u;
        for (unsigned i = 0; i < k; ++i) n *= 5u;
        const int shift = power + static_cast<int>(k);
        if (shift >= 0) {
            if (shift > 30 || n >= uint64_t{1} << (53 - shift)) continue;
            n <<= shift;
        } else {
            const int s = -shift;
            if (s >= 64) continue;
            const bool up = ((n >> (s - 1)) & 1u) != 0;
            n = (n >> s) + (up != (rng() % 4 == 0) ? 1u : 0u);
        }
        if (n >= uint64_t{1} << 53) continue;
        std::string digits = std::to_string(n);
        if (digits.size() <= k) digits.insert(0, k + 1 - digits.size(), '0');
        digits.insert(digits.size() - k, ".");
        return digits;
    }
}

TEST(FastNumbers, FloatsMatchTheGeneralReaderBitForBit) {
    std::mt19937 rng(20261208);
    for (int i = 0; i < 300000; ++i) {
        const std::string s = i % 4 == 0   ? RandomDecimal(rng)
                              : i % 4 == 1 ? EdgeDecimal(rng)
                              : i % 4 == 2 ? NearTie(rng)
                                           : NearMidpoint(rng);
        const FloatRead fast = ReadFloat<ParseFloatFast>(s), general = ReadFloat<ParseFloat>(s);
        ASSERT_EQ(fast.ok, general.ok) << '"' << s << '"';
        ASSERT_EQ(fast.bits, general.bits) << '"' << s << '"';
        ASSERT_EQ(fast.left, general.left) << '"' << s << '"';
    }
}

TEST(FastNumbers, IntegersMatchTheGeneralReader) {
    std::mt19937 rng(7);
    static const char *kFixed[] = {"", "-", "+", "+-5", "-+5", "-0", "000000000012", "999999999", "1000000000",
                                   "2147483647", "2147483648", "-2147483648", "-2147483649", " \t\r\n7:", "3x"};
    std::vector<std::string> inputs(std::begin(kFixed), std::end(kFixed));
    for (int i = 0; i < 100000; ++i) inputs.push_back(RandomDecimal(rng));
    for (const std::string &s : inputs) {
        std::string_view a = s, b = s;
        int32_t fast = 77, general = 77;
        ASSERT_EQ(ParseIntFast(a, fast), ParseInt(b, general)) << '"' << s << '"';
        ASSERT_EQ(fast, general) << '"' << s << '"';
        ASSERT_EQ(a.size(), b.size()) << '"' << s << '"';
    }
}

}  // namespace
}  // namespace vesk
