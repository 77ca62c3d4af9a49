#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "math/scalar.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::UlpDistance;

// Correctly rounded 1/sqrt(x) as a float, from long double.
float ReferenceInverseSqrt(float x) {
    return static_cast<float>(1.0L / std::sqrt(static_cast<long double>(x)));
}

TEST(InverseSqrt, WithinOneUlpInEveryBinadeFromLowestHandledToLargestFinite) {
    int checked = 0;
    for (int e = -125; e <= 127; ++e) {
        const float base = std::ldexp(1.0f, e);
        // Both ends of the binade plus a spread of mantissas between.
        for (int k = 0; k <= 64; ++k) {
            const float x = k == 64 ? std::nextafter(base * 2.0f, 0.0f) : base * (1.0f + static_cast<float>(k) / 64.0f);
            if (!std::isfinite(x)) continue;
            ASSERT_LE(UlpDistance(InverseSqrt(x), ReferenceInverseSqrt(x)), 1) << "x = " << x << " (2^" << e << ")";
            ++checked;
        }
    }
    EXPECT_GT(checked, 253 * 64);
    const float largest = std::numeric_limits<float>::max();
    EXPECT_LE(UlpDistance(InverseSqrt(largest), ReferenceInverseSqrt(largest)), 1);
}

TEST(InverseSqrt, ExactValuesAndZero) {
    EXPECT_EQ(InverseSqrt(4.0f), 0.5f);
    EXPECT_EQ(InverseSqrt(1.0f), 1.0f);
    EXPECT_EQ(InverseSqrt(0.25f), 2.0f);
    EXPECT_EQ(InverseSqrt(0.0f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(FastSqrtEX(0.0f), 0.0f);
    EXPECT_LE(UlpDistance(FastSqrtEX(9.0f), 3.0f), 1);
    EXPECT_LE(UlpDistance(FastSqrtEX(2.0f), std::sqrt(2.0f)), 1);
}

TEST(RSqrtEX, OneRefinementOnly) {
    // One Newton step from the classic estimate: close, but visibly not exact.
    EXPECT_NEAR(RSqrtEX(1.0f), 0.99831f, 1e-5f);
    EXPECT_NE(RSqrtEX(1.0f), 1.0f);
    for (float x : {1e-30f, 0.01f, 2.0f, 3.0f, 1000.0f, 7.5e20f, 3e38f}) {
        const float exact = ReferenceInverseSqrt(x);
        EXPECT_LT(std::fabs(RSqrtEX(x) - exact) / exact, 0.0018f) << x;
    }
    // Negative arguments wrap in the integer step (no signed overflow, which UBSan
    // would stop on): the estimate for -4 is about 1.6e38 and the refinement overflows.
    EXPECT_EQ(RSqrtEX(-4.0f), std::numeric_limits<float>::infinity());
}

TEST(FastAbs, ClearsTheSignBitOnly) {
    EXPECT_EQ(FastAbs(-2.5f), 2.5f);
    EXPECT_EQ(FastAbs(2.5f), 2.5f);
    EXPECT_FALSE(std::signbit(FastAbs(-0.0f)));
    EXPECT_EQ(FastAbs(-std::numeric_limits<float>::infinity()), std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(FastAbs(-std::numeric_limits<float>::quiet_NaN())));
    EXPECT_FALSE(std::signbit(FastAbs(-std::numeric_limits<float>::quiet_NaN())));
}

TEST(Trigonometry, WrappersAgreeWithTheMathLibrary) {
    constexpr float pi = std::numbers::pi_v<float>;
    for (float x : {-10.0f, -pi, -1.0f, 0.0f, 0.3f, 1.0f, pi / 2, 100.0f}) {
        EXPECT_LE(UlpDistance(FastSin(x), static_cast<float>(std::sin(double(x)))), 0) << x;
        EXPECT_LE(UlpDistance(FastCos(x), static_cast<float>(std::cos(double(x)))), 0) << x;
        EXPECT_LE(UlpDistance(FTan(x), static_cast<float>(std::tan(double(x)))), 0) << x;
        EXPECT_LE(UlpDistance(FArcTan(x), static_cast<float>(std::atan(double(x)))), 1) << x;
    }
    EXPECT_FLOAT_EQ(FArcSin(1.0f), pi / 2);
    EXPECT_FLOAT_EQ(FArcCos(-1.0f), pi);
    EXPECT_TRUE(std::isnan(FArcSin(2.0f)));
    EXPECT_FLOAT_EQ(FSinh(1.0f), static_cast<float>(std::sinh(1.0)));
    EXPECT_FLOAT_EQ(FCosh(1.0f), static_cast<float>(std::cosh(1.0)));
    EXPECT_FLOAT_EQ(FTanh(0.5f), static_cast<float>(std::tanh(0.5)));
    EXPECT_FLOAT_EQ(FPow(2.0f, 10.0f), 1024.0f);
    EXPECT_FLOAT_EQ(FPow(9.0f, 0.5f), 3.0f);
}

TEST(ArcTan2, TakesYFirst) {
    constexpr float pi = std::numbers::pi_v<float>;
    EXPECT_FLOAT_EQ(FArcTan2(1.0f, 0.0f), pi / 2);
    EXPECT_FLOAT_EQ(FArcTan2(0.0f, -1.0f), pi);
    EXPECT_FLOAT_EQ(FArcTan2(-1.0f, 0.0f), -pi / 2);
    EXPECT_FLOAT_EQ(FArcTan2(1.0f, -1.0f), 3 * pi / 4);
    EXPECT_FLOAT_EQ(FArcTan2(0.0f, 1.0f), 0.0f);
}

TEST(Logarithms, ThroughLog2WithoutDomainChecks) {
    EXPECT_FLOAT_EQ(FLog10(1000.0f), 3.0f);
    EXPECT_FLOAT_EQ(FLog10(0.01f), -2.0f);
    EXPECT_FLOAT_EQ(FLogN(std::numbers::e_v<float>), 1.0f);
    EXPECT_FLOAT_EQ(FLogN(1.0f), 0.0f);
    EXPECT_EQ(FLog10(0.0f), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(FLogN(0.0f), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(FLogN(-1.0f)));
    EXPECT_EQ(FLogN(std::numeric_limits<float>::infinity()), std::numeric_limits<float>::infinity());
}

TEST(Exp, AccurateAcrossTheRangeAndSaturatesAtTheEnds) {
    for (float x : {-80.0f, -10.0f, -1.0f, -1e-6f, 0.0f, 1e-6f, 0.5f, 1.0f, 2.0f, 10.0f, 88.0f}) {
        EXPECT_LE(UlpDistance(FExp(x), static_cast<float>(std::exp(double(x)))), 1) << x;
    }
    EXPECT_EQ(FExp(0.0f), 1.0f);
    EXPECT_EQ(FExp(89.0f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(FExp(1e30f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(FExp(-1e30f), 0.0f);
    EXPECT_EQ(FExp(-std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_EQ(FExp(std::numeric_limits<float>::infinity()), std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(FExp(std::numeric_limits<float>::quiet_NaN())));
}

TEST(Sqrt, CorrectlyRounded) {
    EXPECT_EQ(FSqrt(2.0f), std::sqrt(2.0f));
    EXPECT_EQ(FSqrt(0.0f), 0.0f);
    EXPECT_TRUE(std::isnan(FSqrt(-1.0f)));
}

TEST(Shifts, CountModThirtyTwoAndArithmeticRight) {
    EXPECT_EQ(ShiftRight(-8, 1), -4);
    EXPECT_EQ(ShiftRight(-1, 31), -1);
    EXPECT_EQ(ShiftRight(16, 36), 1);
    EXPECT_EQ(ShiftLeft(1, 33), 2);
    EXPECT_EQ(ShiftLeft(1, 31), INT32_MIN);
    EXPECT_EQ(ShiftLeft(3, -1), INT32_MIN);  // count -1 is 31
    EXPECT_EQ(ShiftLeft(5, 32), 5);
    EXPECT_EQ(ShiftNone(0), -1);
    EXPECT_EQ(ShiftNone(0x0F0F0F0F), static_cast<int32_t>(0xF0F0F0F0u));
}

}  // namespace
}  // namespace vesk
