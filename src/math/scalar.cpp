#include "math/scalar.h"

#include <bit>
#include <cmath>

namespace vesk {

float InverseSqrt(float x) {
    // Wrapping unsigned arithmetic on the bit pattern, as the estimate needs.
    const uint32_t i = std::bit_cast<uint32_t>(x);
    const double y0 = std::bit_cast<float>((0xBE6EB508u - i) >> 1);
    const double h = std::bit_cast<float>(i - 0x00800000u);
    // Three Newton steps folded: each factor from a and the earlier factors.
    const double a = (y0 * y0) * h;
    const double b = 1.5 - a;
    const double c = 1.5 - (a * b) * b;
    const double d = 1.5 - ((a * b * b) * c) * c;
    return static_cast<float>(((y0 * b) * c) * d);
}

float FastSqrtEX(float x) { return static_cast<float>(1.0 / static_cast<double>(InverseSqrt(x))); }

float RSqrtEX(float x) {
    const int32_t i = std::bit_cast<int32_t>(x);
    // Wrapping, like the processor: a negative x must not overflow.
    const double y = std::bit_cast<float>(0x5F3759DFu - static_cast<uint32_t>(i >> 1));
    return static_cast<float>(y * (1.5 - ((0.5 * x) * y) * y));
}

float FastAbs(float x) { return std::bit_cast<float>(std::bit_cast<uint32_t>(x) & 0x7FFFFFFFu); }

float FastCos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
float FastSin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
float FTan(float x) { return static_cast<float>(std::tan(static_cast<double>(x))); }
float FArcTan(float x) { return static_cast<float>(std::atan2(static_cast<double>(x), 1.0)); }
float FArcTan2(float y, float x) { return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x))); }
float FArcSin(float x) { return static_cast<float>(std::asin(static_cast<double>(x))); }
float FArcCos(float x) { return static_cast<float>(std::acos(static_cast<double>(x))); }
float FSinh(float x) { return static_cast<float>(std::sinh(static_cast<double>(x))); }
float FCosh(float x) { return static_cast<float>(std::cosh(static_cast<double>(x))); }
float FTanh(float x) { return static_cast<float>(std::tanh(static_cast<double>(x))); }
float FPow(float x, float y) { return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(y))); }

namespace {
constexpr double kLog10Of2 = 0.30102999566398119521;
constexpr double kLnOf2 = 0.69314718055994530942;
constexpr double kLog2OfE = 1.44269504088896340736;
}  // namespace

float FLog10(float x) { return static_cast<float>(kLog10Of2 * std::log2(static_cast<double>(x))); }
float FLogN(float x) { return static_cast<float>(kLnOf2 * std::log2(static_cast<double>(x))); }

float FExp(float x) {
    const double t = static_cast<double>(x) * kLog2OfE;
    const double n = std::nearbyint(t);  // default rounding: ties to even
    if (!std::isfinite(n)) return static_cast<float>(std::exp2(t));  // +-inf and NaN pass through
    const double f = t - n;
    const double twoFMinusOne = std::expm1(f * kLnOf2);  // 2^f - 1, accurate for small f
    // n beyond the exponent range saturates to inf or 0 either way.
    const double clamped = std::fmax(-2000.0, std::fmin(2000.0, n));
    return static_cast<float>(std::ldexp(twoFMinusOne + 1.0, static_cast<int>(clamped)));
}

float FSqrt(float x) { return std::sqrt(x); }

int32_t ShiftLeft(int32_t value, int32_t count) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) << (static_cast<uint32_t>(count) & 31u));
}

int32_t ShiftRight(int32_t value, int32_t count) { return value >> (static_cast<uint32_t>(count) & 31u); }

int32_t ShiftNone(int32_t value) { return ~value; }

}  // namespace vesk
