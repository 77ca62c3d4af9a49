#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/ellipsoid_collision.h"
#include "geometry/geometry_test_util.h"

namespace vesk {
namespace {
using test::kNaN;
using test::MakeBody;
using test::MakePoly;

// Large triangle in z = h; upForCollision3 picks the winding whose own normal points up
// for CheckForCollision3 ((c - a) x (b - a)); CheckCollision needs the other one.
Poly Plate(float h, bool upForCollision3) {
    const Vector3 a{-50, -50, h}, b{-50, 100, h}, c{100, -50, h};
    return upForCollision3 ? MakePoly(a, b, c) : MakePoly(a, c, b);
}

using SweepFn = void(VESK_CALL *)(const void *, CollisionBody *, const Poly *, int32_t);
struct SweepCase {
    const char *name;
    SweepFn fn;
    bool cf3Winding;
};
const SweepCase kSweeps[] = {{"CheckForCollision3", &::CheckForCollision3, true},
                             {"CheckCollision", &::CheckCollision, false}};

TEST(RayHelpers, PlanesSpheresAndSides) {
    EXPECT_EQ(RayPlaneDistance({0, 0, 5}, {0, 0, -1}, {0, 0, 0}, {0, 0, 1}), 5.0);
    EXPECT_EQ(RayPlaneDistance({0, 0, 5}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}), -1.0);
    EXPECT_EQ(RaySphereDistance({0, 0, 0}, {1, 0, 0}, {10, 0, 0}, 2.0), 8.0);
    EXPECT_EQ(RaySphereDistance({0, 0, 0}, {1, 0, 0}, {10, 5, 0}, 2.0), -1.0);
    EXPECT_EQ(ClassifyPointFlags({0, 0, 0}, {0, 0, 0.001f}, {0, 0, 1}), kPointOnPlane);
    EXPECT_EQ(ClassifyPointFlags({0, 0, 0}, {0, 0, std::nextafter(0.001f, 1.0f)}, {0, 0, 1}), kPointInFront);
    EXPECT_EQ(ClassifyPointFlags({0, 0, 0}, {0, 0, -0.002f}, {0, 0, 1}), kPointBehind);
    EXPECT_EQ(ClassifyPointFlags({0, 0, 0}, {0, 0, kNaN}, {0, 0, 1}), kPointOnPlane);
    // Exact triangle test: no clamping and no zero guard, so a corner itself is outside.
    const Vector3 a{0, 0, 0}, b{4, 0, 0}, c{0, 4, 0};
    EXPECT_TRUE(PointInTriangleExact({1, 1, 0}, a, b, c));
    EXPECT_FALSE(PointInTriangleExact({3, 3, 0}, a, b, c));
    EXPECT_FALSE(PointInTriangleExact(a, a, b, c));
    // Edges (a, b), (b, c), (c, a): the first of two equally near wins.
    EXPECT_VEC_NEAR(ClosestPointOnTriangleEdges(a, b, c, {-1, -1, 0}), 0, 0, 0, 0);
    EXPECT_VEC_NEAR(ClosestPointOnTriangleEdges(a, b, c, {0.5f, 0.5f, 0}), 0.5f, 0, 0, 1e-6);
    EXPECT_VEC_NEAR(ClosestPointOnSegmentExact(a, b, {4, 3, 0}), 4, 0, 0, 1e-6);
    EXPECT_TRUE(WithinDistance({0, 0, 1}, {0, 0, 0}, 1.0));
    EXPECT_FALSE(WithinDistance({0, 0, 1.0000001f}, {0, 0, 0}, 1.0));
}

TEST(SweptCollision, Scenarios) {
    for (const SweepCase &s : kSweeps) {
        SCOPED_TRACE(s.name);
        const std::vector<Poly> floor{Plate(0, s.cf3Winding)};
        // 1. count 0 (and negative) leaves the body as it was.
        CollisionBody body = MakeBody({0, 0, 2}, {0, 0, -3});
        const CollisionBody before = body;
        s.fn(nullptr, &body, floor.data(), 0);
        s.fn(nullptr, &body, floor.data(), -4);
        EXPECT_TRUE(test::SameBytes(body, before));
        // 2. Straight down from 2 by 3: contact after 1.
        s.fn(nullptr, &body, floor.data(), 1);
        EXPECT_EQ(body.collided, 1);
        EXPECT_EQ(body.distance, 1.0);
        EXPECT_VEC_NEAR(body.spherePoint, 0, 0, 1, 0);
        EXPECT_VEC_NEAR(body.polygonPoint, 0, 0, 0, 0);
        EXPECT_EQ(body.touching, 0);
        // 3. t = vlen exactly is a hit; shorter is not.
        body = MakeBody({0, 0, 2}, {0, 0, -1});
        s.fn(nullptr, &body, floor.data(), 1);
        EXPECT_EQ(body.collided, 1);
        EXPECT_EQ(body.distance, 1.0);
        body = MakeBody({0, 0, 2}, {0, 0, -0.5f});
        s.fn(nullptr, &body, floor.data(), 1);
        EXPECT_EQ(body.collided, 0);
        // 4. Zero-length velocity never records, though touching is still reported.
        body = MakeBody({0, 0, 0.5f});
        s.fn(nullptr, &body, floor.data(), 1);
        EXPECT_EQ(body.collided, 0);
        EXPECT_EQ(body.touching, 1);
        // 5. A recorded hit at the same distance is kept (strictly nearer replaces).
        body = MakeBody({0, 0, 2}, {0, 0, -3});
        body.collided = 1;
        body.distance = 1.0;
        body.spherePoint = {7, 7, 7};
        s.fn(nullptr, &body, floor.data(), 1);
        EXPECT_VEC_NEAR(body.spherePoint, 7, 7, 7, 0);
        // 6. A nearer record later in the list wins; a farther one does not replace.
        const std::vector<Poly> steps{Plate(0, s.cf3Winding), Plate(0.5f, s.cf3Winding), Plate(-0.5f, s.cf3Winding)};
        body = MakeBody({0, 0, 2}, {0, 0, -3});
        s.fn(nullptr, &body, steps.data(), 3);
        EXPECT_EQ(body.distance, 0.5);
        EXPECT_VEC_NEAR(body.polygonPoint, 0, 0, 0.5f, 0);
        // 7. The wrong winding faces away: the plane is reached only by the far
        //    side of the sphere, two radii later.
        const std::vector<Poly> flipped{Plate(0, !s.cf3Winding)};
        body = MakeBody({0, 0, 2}, {0, 0, -2.5f});
        s.fn(nullptr, &body, flipped.data(), 1);
        EXPECT_EQ(body.collided, 0);
        // 8. Beside the triangle: the edge is met by the sphere's side.
        const std::vector<Poly> half{s.cf3Winding ? MakePoly({0, -50, 0}, {0, 50, 0}, {50, 0, 0})
                                                  : MakePoly({0, -50, 0}, {50, 0, 0}, {0, 50, 0})};
        body = MakeBody({-0.6f, 0, 2}, {0, 0, -3});
        s.fn(nullptr, &body, half.data(), 1);
        EXPECT_EQ(body.collided, 1);
        EXPECT_NEAR(body.distance, 1.2, 1e-6);
        EXPECT_VEC_NEAR(body.polygonPoint, 0, 0, 0, 1e-6);
        EXPECT_VEC_NEAR(body.spherePoint, 0, 0, 1.2f, 1e-6);
        // 9. Degenerate records change nothing.
        const std::vector<Poly> bad{MakePoly({0, 0, 0}, {0, 0, 0}, {1, 0, 0}), MakePoly({0, 0, 0}, {1, 0, 0}, {3, 0, 0})};
        body = MakeBody({0, 0, 0.5f}, {0, 0, -3});
        const CollisionBody untouched = body;
        s.fn(nullptr, &body, bad.data(), 2);
        EXPECT_TRUE(test::SameBytes(body, untouched));
    }
}

TEST(SweptCollision, CornersAreDividedByTheRadii) {
    // Radii (1, 1, 2): a floor at world z = -2 is at unit z = -1.
    for (const SweepCase &s : kSweeps) {
        SCOPED_TRACE(s.name);
        const std::vector<Poly> floor{Plate(-2, s.cf3Winding)};
        CollisionBody body = MakeBody({0, 0, 1}, {0, 0, -3});
        body.radii = {1, 1, 2};
        s.fn(nullptr, &body, floor.data(), 1);
        EXPECT_EQ(body.distance, 1.0);
        EXPECT_VEC_NEAR(body.polygonPoint, 0, 0, -1, 0);
    }
}

TEST(CheckForCollision4, SnapsOntoTheFirstCuttingPlane) {
    const std::vector<Poly> floor{Plate(0, true)};
    // 1. 0.5 above: the centre lands on the plane.
    CollisionBody body = MakeBody({0, 0, 0.5f});
    ::CheckForCollision4(nullptr, &body, floor.data(), 1);
    EXPECT_VEC_NEAR(body.position, 0, 0, 0, 0);
    EXPECT_EQ(body.distance, 100.0);
    EXPECT_EQ(body.collided, 1);
    // 2. Out of reach above, within the 0.001 band, or far behind: nothing changes.
    for (float z : {2.0f, 0.9995f, -5.0f, -0.9995f}) {
        body = MakeBody({0, 0, z});
        const CollisionBody before = body;
        ::CheckForCollision4(nullptr, &body, floor.data(), 1);
        EXPECT_TRUE(test::SameBytes(body, before)) << z;
    }
    // 3. Just behind the plane, the sphere still cuts it.
    body = MakeBody({3, 4, -0.5f});
    ::CheckForCollision4(nullptr, &body, floor.data(), 1);
    EXPECT_VEC_NEAR(body.position, 3, 4, 0, 0);
    // 4. Only the first qualifying record; the outline is not tested.
    const std::vector<Poly> two{MakePoly({10, 10, 0.25f}, {10, 11, 0.25f}, {11, 10, 0.25f}), floor[0]};
    body = MakeBody({0, 0, 0.5f});
    ::CheckForCollision4(nullptr, &body, two.data(), 2);
    EXPECT_VEC_NEAR(body.position, 0, 0, 0.25f, 0);
    // 5. Degenerate and NaN input leave the body alone.
    const std::vector<Poly> bad{MakePoly({0, 0, 0}, {1, 1, 1}, {2, 2, 2})};
    body = MakeBody({0, 0, 0.5f});
    const CollisionBody before = body;
    ::CheckForCollision4(nullptr, &body, bad.data(), 1);
    EXPECT_TRUE(test::SameBytes(body, before));
}

}  // namespace
}  // namespace vesk
