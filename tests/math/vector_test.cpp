#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "math/scalar.h"
#include "math/vector.h"
#include "support/test_support.h"

namespace vesk {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(DotProducts, DoubleIntermediatesAndSummationOrder) {
    const Vector3 c{3.0f, -2.0f, 0.5f}, d{4.0f, 5.0f, -2.0f};
    EXPECT_EQ(VectorDotProduct(c, d), 1.0f);
    EXPECT_EQ(FDotProduct(c, d), 1.0f);
    // Products that overflow a float still cancel in the wider intermediate.
    const Vector3 big{1e30f, 1e30f, 0.0f}, neg{1e10f, -1e10f, 0.0f};
    EXPECT_EQ(VectorDotProduct(big, neg), 0.0f);
    EXPECT_EQ(FDotProduct(big, neg), 0.0f);
    // Terms 1e-20, 1e20, -1e20: only the z-first order keeps the small one.
    const Vector3 p{1.0f, 1e20f, -1e20f}, q{1e-20f, 1.0f, 1.0f};
    EXPECT_EQ(FDotProduct(p, q), 0.0f);         // (1e-20 + 1e20) - 1e20
    EXPECT_EQ(VectorDotProduct(p, q), 1e-20f);  // (-1e20 + 1e20) + 1e-20
}

TEST(CrossProduct, RightHandedAndAliasSafe) {
    Vector3 a{1, 0, 0};
    const Vector3 b{0, 1, 0};
    Vector3 out{};
    VectorCrossProduct(a, b, out);
    EXPECT_EQ(out.z, 1.0f);
    EXPECT_EQ(out.x, 0.0f);
    VectorCrossProduct(a, b, a);  // out is a
    EXPECT_EQ(a.x, 0.0f);
    EXPECT_EQ(a.y, 0.0f);
    EXPECT_EQ(a.z, 1.0f);
    Vector3 c{2, 3, 4}, d{5, 6, 7};
    VectorCrossProduct(c, d, d);  // out is b
    EXPECT_EQ(d.x, 3 * 7 - 4 * 6);
    EXPECT_EQ(d.y, 4 * 5 - 2 * 7);
    EXPECT_EQ(d.z, 2 * 6 - 3 * 5);
}

TEST(Normalize, ExactRootAndUntouchedOnZeroOrNaN) {
    Vector3 v{3, 4, 0};
    EXPECT_EQ(VectorNormalize(v), 5.0f);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.y, 0.8f);
    EXPECT_EQ(v.z, 0.0f);

    Vector3 zero{0, 0, 0};
    EXPECT_EQ(VectorNormalize(zero), 0.0f);
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);

    Vector3 bad{kNaN, 1.0f, 2.0f};
    EXPECT_EQ(VectorNormalize(bad), 0.0f);
    EXPECT_TRUE(std::isnan(bad.x));
    EXPECT_EQ(bad.y, 1.0f);
    EXPECT_EQ(bad.z, 2.0f);

    // Multiplies by the reciprocal: 1/3 * 3 style rounding, not a division.
    Vector3 w{0, 0, 3};
    EXPECT_EQ(VectorNormalize(w), 3.0f);
    EXPECT_EQ(w.z, static_cast<float>(3.0 * (1.0 / 3.0)));
}

TEST(Length, FastRootWithinItsAccuracy) {
    EXPECT_EQ(VectorLength({0, 0, 0}), 0.0f);
    EXPECT_NEAR(VectorLength({3, 4, 0}), 5.0f, 5.0f * 1e-6f);
    EXPECT_LE(test::UlpDistance(VectorLength({1, 2, 2}), 3.0f), 1);
    EXPECT_EQ(VectorLength({kNaN, 0, 0}), 0.0f);  // unordered: 0
    EXPECT_NEAR(VectorDistanceBetween({1, 1, 1}, {4, 5, 1}), 5.0f, 5e-6f);
    EXPECT_EQ(VectorDistanceBetween({7, 8, 9}, {7, 8, 9}), 0.0f);
}

TEST(BasicOperations, AddSubtractScaleMaInverse) {
    Vector3 out{};
    VectorAdd({1, 2, 3}, {4, 5, 6}, out);
    EXPECT_EQ(out.x, 5.0f);
    EXPECT_EQ(out.z, 9.0f);
    VectorSubtract({1, 2, 3}, {4, 6, 8}, out);
    EXPECT_EQ(out.y, -4.0f);
    EXPECT_EQ(out.z, -5.0f);
    VectorScale({1, -2, 3}, 2.0f, out);
    EXPECT_EQ(out.y, -4.0f);
    VectorMA({1, 1, 1}, 0.5f, {2, 4, 6}, out);
    EXPECT_EQ(out.x, 2.0f);
    EXPECT_EQ(out.z, 4.0f);
    // Double intermediate: a + s*b rounded once.
    VectorMA({1.0f, 0, 0}, 1e-8f, {1.0f, 0, 0}, out);
    EXPECT_EQ(out.x, 1.0f);
    Vector3 v{0.0f, -0.0f, 2.0f};
    VectorInverse(v);
    EXPECT_TRUE(std::signbit(v.x));
    EXPECT_FALSE(std::signbit(v.y));
    EXPECT_EQ(v.z, -2.0f);
}

TEST(RotateAroundPoint, EachAngleRotatesTheOriginalOffset) {
    constexpr float halfPi = std::numbers::pi_v<float> / 2;
    Vector3 out{7, 7, 42};
    VectorRotateAroundPoint({1, 0, 0}, {0, 0, 0}, 0, 0, halfPi, out);
    EXPECT_NEAR(out.x, 0.0f, 1e-6f);
    EXPECT_NEAR(out.y, -1.0f, 1e-6f);
    EXPECT_EQ(out.z, 42.0f);  // no handled angle wrote z

    Vector3 untouched{1, 2, 3};
    VectorRotateAroundPoint({5, 5, 5}, {0, 0, 0}, 0, 0, 0, untouched);
    EXPECT_EQ(untouched.x, 1.0f);
    EXPECT_EQ(untouched.y, 2.0f);
    EXPECT_EQ(untouched.z, 3.0f);

    // Around a centre other than the origin, X only: y and z written, x kept.
    Vector3 r{-9, 0, 0};
    VectorRotateAroundPoint({1, 3, 2}, {1, 2, 2}, halfPi, 0, 0, r);
    EXPECT_EQ(r.x, -9.0f);
    EXPECT_NEAR(r.y, 2.0f, 1e-6f);  // (2 + c*1) - s*0
    EXPECT_NEAR(r.z, 3.0f, 1e-6f);  // 2 + (s*1 + c*0)

    // X and Y both set: y from the X step, x and z from the Y step, both from the original offset.
    const Vector3 p{1, 1, 1}, c{0, 0, 0};
    const float ax = 0.3f, ay = 0.7f;
    Vector3 both{};
    VectorRotateAroundPoint(p, c, ax, ay, 0, both);
    const double cx = FastCos(ax), sx = FastSin(ax), cy = FastCos(ay), sy = FastSin(ay);
    EXPECT_FLOAT_EQ(both.y, static_cast<float>(cx * 1 - sx * 1));
    EXPECT_FLOAT_EQ(both.x, static_cast<float>(cy * 1 - sy * 1));
    EXPECT_FLOAT_EQ(both.z, static_cast<float>(sy * 1 + cy * 1));

    // out may alias the point.
    Vector3 same{1, 0, 0};
    VectorRotateAroundPoint(same, {0, 0, 0}, 0, 0, halfPi, same);
    EXPECT_NEAR(same.y, -1.0f, 1e-6f);
}

}  // namespace
}  // namespace vesk
