#include <gtest/gtest.h>

#include <cmath>

#include "geometry/box_tests.h"
#include "geometry/frustum.h"
#include "geometry/geometry_test_util.h"

namespace vesk {
namespace {
using test::kInf;
using test::kNaN;

Matrix4 Identity() {
    Matrix4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

// Symmetric perspective: near 1, far 100, 90 degrees each way.
Matrix4 Perspective() {
    Matrix4 m{};
    m.m[0] = 1.0f;
    m.m[5] = 1.0f;
    m.m[10] = -101.0f / 99.0f;
    m.m[11] = -1.0f;
    m.m[14] = -200.0f / 99.0f;
    return m;
}

Frustum Make(const Matrix4 &modelview, const Matrix4 &projection) {
    Frustum f;
    ::CalculateFrustum(&f, &modelview, &projection);
    return f;
}

TEST(CalculateFrustum, IdentityGivesTheUnitCubeInSlotOrder) {
    const Frustum f = Make(Identity(), Identity());
    const float expect[6][4] = {{-1, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1},
                                {0, -1, 0, 1}, {0, 0, -1, 1}, {0, 0, 1, 1}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(f.plane[i].a, expect[i][0]) << i;
        EXPECT_EQ(f.plane[i].b, expect[i][1]) << i;
        EXPECT_EQ(f.plane[i].c, expect[i][2]) << i;
        EXPECT_EQ(f.plane[i].d, expect[i][3]) << i;
    }
}

TEST(CalculateFrustum, PerspectivePlanesAreUnitAndModelviewApplies) {
    const Frustum f = Make(Identity(), Perspective());
    for (const Plane &p : f.plane)
        EXPECT_NEAR(std::sqrt(double{p.a} * p.a + double{p.b} * p.b + double{p.c} * p.c), 1.0, 1e-6);
    // Near plane z < -1 with d in world units.
    EXPECT_NEAR(f.plane[5].c, -1.0f, 1e-6);
    EXPECT_NEAR(f.plane[5].d, -1.0f, 1e-5);
    EXPECT_EQ(PointInFrustum(f, 0, 0, -5), 1);
    EXPECT_EQ(PointInFrustum(f, 0, 0, 5), 0);
    EXPECT_EQ(PointInFrustum(f, 0, 0, -150), 0);
    // Radii are world units: 0.5 in front of the near plane.
    EXPECT_EQ(SphereInFrustum(f, 0, 0, -0.5f, 0.6f), 1);
    EXPECT_EQ(SphereInFrustum(f, 0, 0, -0.5f, 0.4f), 0);
    // Camera moved 10 along +z (modelview translates the world by -10).
    Matrix4 mv = Identity();
    mv.m[14] = -10.0f;
    const Frustum moved = Make(mv, Perspective());
    EXPECT_EQ(PointInFrustum(moved, 0, 0, 5), 1);
    EXPECT_EQ(PointInFrustum(moved, 0, 0, 9.5f), 0);
}

TEST(PointAndSphereInFrustum, BoundariesAndNaN) {
    const Frustum f = Make(Identity(), Identity());
    EXPECT_EQ(PointInFrustum(f, 0, 0, 0), 1);
    EXPECT_EQ(PointInFrustum(f, 2, 0, 0), 0);
    EXPECT_EQ(PointInFrustum(f, 1, 0, 0), 0);  // on the plane is outside
    EXPECT_EQ(PointInFrustum(f, 0, 0, -1), 0);
    EXPECT_EQ(PointInFrustum(f, 0, std::nextafter(1.0f, 0.0f), 0), 1);
    EXPECT_EQ(PointInFrustum(f, kNaN, 0, 0), 0);
    EXPECT_EQ(SphereInFrustum(f, 1.5f, 0, 0, 1.0f), 1);
    EXPECT_EQ(SphereInFrustum(f, 1.5f, 0, 0, 0.5f), 0);  // touching from outside
    EXPECT_EQ(SphereInFrustum(f, 0, -3, 0, 2.5f), 1);
    EXPECT_EQ(SphereInFrustum(f, 100, 0, 0, kInf), 1);
    EXPECT_EQ(SphereInFrustum(f, kNaN, 0, 0, 1.0f), 1);  // never culled on a NaN
}

TEST(BoxInFrustum, ConservativeAndUnordered) {
    const Frustum f = Make(Identity(), Perspective());
    // 1. Wholly behind the far plane.
    EXPECT_EQ(BoxInFrustum(f, -1, -1, -200, 1, 1, -150), 0);
    // 2. Enclosing the whole frustum.
    EXPECT_EQ(BoxInFrustum(f, -500, -500, -500, 500, 500, 500), 1);
    // 3. Corners given in either order.
    EXPECT_EQ(BoxInFrustum(f, 1, 1, -150, -1, -1, -200), 0);
    EXPECT_EQ(BoxInFrustum(f, 1, 1, -4, -1, -1, -6), 1);
    // 4. Outside, beyond the edge where the right plane (x < -z) meets the far
    //    plane (z > -100): one corner passes each plane, so the box is kept.
    EXPECT_EQ(BoxInFrustum(f, 100.5f, -1, -150, 200, 1, -99.5f), 1);
    EXPECT_EQ(PointInFrustum(f, 100.5f, 0, -99.6f), 0);  // its point nearest the frustum
    EXPECT_EQ(BoxInFrustum(f, 100.5f, -1, -150, 200, 1, -100.5f), 0);  // wholly beyond far
    // 5. A box exactly on a plane from outside is outside.
    const Frustum cube = Make(Identity(), Identity());
    EXPECT_EQ(BoxInFrustum(cube, 1, -0.5f, -0.5f, 2, 0.5f, 0.5f), 0);
    EXPECT_EQ(BoxInFrustum(cube, kNaN, 0, 0, kNaN, 0, 0), 0);
    // 6. Every corner is looked at: planes that only the last, or only the
    //    first, corner of the unit box passes.
    Frustum diagonal;
    for (Plane &p : diagonal.plane) p = {1, 1, 1, -2.5f};
    EXPECT_EQ(BoxInFrustum(diagonal, 0, 0, 0, 1, 1, 1), 1);
    for (Plane &p : diagonal.plane) p = {-1, -1, -1, 0.5f};
    EXPECT_EQ(BoxInFrustum(diagonal, 0, 0, 0, 1, 1, 1), 1);
    EXPECT_EQ(BoxInFrustum(diagonal, 0.2f, 0.2f, 0.2f, 1, 1, 1), 0);
    // 7. The cube test is the box test on the cube around the centre.
    for (float x = -3; x <= 3; x += 0.75f)
        for (float h : {0.1f, 0.5f, 1.0f, 2.5f})
            EXPECT_EQ(CubeInFrustum(f, x, x * 0.5f, -x * 4, h),
                      BoxInFrustum(f, x - h, x * 0.5f - h, -x * 4 - h, x + h, x * 0.5f + h, -x * 4 + h));
}

TEST(CheckPointInBox, InclusiveOnFacesEdgesCorners) {
    const BoundingBox box{0, 0, 0, 2, 1, 1};
    const Matrix4 id = Identity();
    const Vector3 inside[] = {{1, 0.5f, 0.5f}, {2, 0.5f, 0.5f}, {0, 0, 0.5f}, {2, 1, 1}, {0, 0, 0}};
    const Vector3 outside[] = {{std::nextafter(2.0f, 3.0f), 0.5f, 0.5f}, {1, -1e-7f, 0.5f}, {1, 0.5f, 1.5f},
                               {kNaN, 0.5f, 0.5f}, {1, 0.5f, kNaN}};
    for (const Vector3 &p : inside) {
        EXPECT_TRUE(CheckPointInBox(p, box));
        EXPECT_TRUE(CheckPointInBoxEx(p, box, id));
    }
    for (const Vector3 &p : outside) {
        EXPECT_FALSE(CheckPointInBox(p, box));
        EXPECT_FALSE(CheckPointInBoxEx(p, box, id));
    }
}

TEST(CheckPointInBoxEx, TransformedBounds) {
    const BoundingBox box{0, 0, 0, 2, 1, 1};
    // 90 degrees about Z: x -> y, y -> -x. The box becomes (-1, 0, 0)-(0, 2, 1).
    Matrix4 rot{};
    rot.m[1] = 1.0f;
    rot.m[4] = -1.0f;
    rot.m[10] = rot.m[15] = 1.0f;
    EXPECT_TRUE(CheckPointInBoxEx({-0.5f, 1.5f, 0.5f}, box, rot));
    EXPECT_FALSE(CheckPointInBox({-0.5f, 1.5f, 0.5f}, box));
    EXPECT_FALSE(CheckPointInBoxEx({1.5f, 0.5f, 0.5f}, box, rot));
    EXPECT_TRUE(CheckPointInBoxEx({-1, 2, 1}, box, rot));  // transformed corner, inclusive
    // Projective weight 2 halves the box.
    Matrix4 half = Identity();
    half.m[15] = 2.0f;
    EXPECT_TRUE(CheckPointInBoxEx({1, 0.5f, 0.5f}, box, half));
    EXPECT_FALSE(CheckPointInBoxEx({1.5f, 0.5f, 0.5f}, box, half));
    // Weight zero everywhere: every corner keeps its place.
    Matrix4 flat = Identity();
    flat.m[15] = 0.0f;
    EXPECT_TRUE(CheckPointInBoxEx({1.5f, 0.5f, 0.5f}, box, flat));
    EXPECT_FALSE(CheckPointInBoxEx({2.5f, 0.5f, 0.5f}, box, flat));
    // The near-zero limit here is the double 1e-10: the corners at x = 2 get a
    // weight just above it (and below the single nearest 1e-10), so they are
    // divided too and the box grows to about 2e10 along x.
    Matrix4 tiny = Identity();
    tiny.m[3] = -5e-19f;
    tiny.m[15] = 1e-10f;
    EXPECT_TRUE(CheckPointInBoxEx({1e10f, 0.5e9f, 0.5e9f}, box, tiny));
}

}  // namespace
}  // namespace vesk
